#include "package_manifest.h"

#include <msxml2.h>

#include "runtime/com_ptr.h"
#include "runtime/unique_bstr.h"

namespace {

// MSXML 6's DOM document, {88D96A05-F192-11D4-A65F-0040963251E5}: XPath with namespaces.
const CLSID kDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
// IXMLDOMDocument2, which the toolchain's libraries do not define.
const IID kXmlDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

const wchar_t kNamespaces[] =
    L"xmlns:m='http://schemas.microsoft.com/appx/manifest/foundation/windows10' "
    L"xmlns:uap10='http://schemas.microsoft.com/appx/manifest/uap/windows10/10' "
    L"xmlns:desktop4='http://schemas.microsoft.com/appx/manifest/desktop/windows10/4' "
    L"xmlns:desktop5='http://schemas.microsoft.com/appx/manifest/desktop/windows10/5' "
    L"xmlns:com='http://schemas.microsoft.com/appx/manifest/com/windows10'";

std::wstring Attribute(IXMLDOMNode* node, const wchar_t* name)
{
    ComPtr<IXMLDOMElement> element;
    VARIANT value;
    VariantInit(&value);
    UniqueBstr attribute(SysAllocString(name));
    std::wstring text;
    if (SUCCEEDED(node->QueryInterface(IID_IXMLDOMElement, element.PutVoid())) &&
        element->getAttribute(attribute.Get(), &value) == S_OK && value.vt == VT_BSTR) {
        text = value.bstrVal;
    }
    VariantClear(&value);
    return text;
}

std::wstring Text(IXMLDOMNode* node)
{
    UniqueBstr text;
    return SUCCEEDED(node->get_text(text.Put())) && text ? std::wstring(text.Get()) : std::wstring();
}

// Calls visit for every node the query selects, in document order.
template <typename Visit>
HRESULT ForEachNode(IXMLDOMDocument2* document, const wchar_t* query, Visit visit)
{
    ComPtr<IXMLDOMNodeList> nodes;
    UniqueBstr text(SysAllocString(query));
    HRESULT result = document->selectNodes(text.Get(), nodes.Put());
    if (FAILED(result)) {
        return result;
    }
    ComPtr<IXMLDOMNode> node;
    while (nodes->nextNode(node.Put()) == S_OK && node) {
        visit(node.Get());
    }
    return S_OK;
}

}  // namespace

HRESULT ReadPackageManifest(const std::wstring& path, PackageManifest& manifest, std::wstring& problem)
{
    manifest = PackageManifest();
    ComPtr<IXMLDOMDocument2> document;
    HRESULT result = CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kXmlDomDocument2,
                                      document.PutVoid());
    if (FAILED(result)) {
        problem = L"the platform has no XML parser";
        return result;
    }
    document->put_async(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(path.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    result = document->load(source, &loaded);
    VariantClear(&source);
    if (result != S_OK || loaded != VARIANT_TRUE) {
        ComPtr<IXMLDOMParseError> error;
        LONG code = 0;
        LONG line = 0;
        UniqueBstr reason;
        if (SUCCEEDED(document->get_parseError(error.Put())) && error) {
            error->get_errorCode(&code);
            error->get_line(&line);
            error->get_reason(reason.Put());
        }
        problem = L"line " + std::to_wstring(line) + L": " + (reason ? reason.Get() : L"not well-formed XML");
        return FAILED(code) ? code : E_FAIL;
    }

    VARIANT property;
    VariantInit(&property);
    property.vt = VT_BSTR;
    property.bstrVal = SysAllocString(kNamespaces);
    UniqueBstr name(SysAllocString(L"SelectionNamespaces"));
    result = document->setProperty(name.Get(), property);
    VariantClear(&property);
    if (FAILED(result)) {
        return result;
    }
    ForEachNode(document.Get(), L"/m:Package/m:Identity", [&](IXMLDOMNode* node) {
        manifest.identityName = Attribute(node, L"Name");
        manifest.identityPublisher = Attribute(node, L"Publisher");
    });
    ForEachNode(document.Get(), L"/m:Package/m:Properties/uap10:AllowExternalContent",
                [&](IXMLDOMNode* node) { manifest.allowExternalContent = Text(node); });
    ForEachNode(document.Get(),
                L"/m:Package/m:Applications/m:Application/m:Extensions/desktop4:Extension"
                L"[@Category='windows.fileExplorerContextMenus']/desktop4:FileExplorerContextMenus"
                L"/desktop5:ItemType/desktop5:Verb",
                [&](IXMLDOMNode* node) {
                    ComPtr<IXMLDOMNode> parent;
                    std::wstring type;
                    if (SUCCEEDED(node->get_parentNode(parent.Put())) && parent) {
                        type = Attribute(parent.Get(), L"Type");
                    }
                    manifest.verbs.push_back({type, Attribute(node, L"Id"), Attribute(node, L"Clsid")});
                });
    return ForEachNode(document.Get(),
                       L"/m:Package/m:Applications/m:Application/m:Extensions/com:Extension"
                       L"[@Category='windows.comServer']/com:ComServer/com:SurrogateServer/com:Class",
                       [&](IXMLDOMNode* node) {
                           manifest.classes.push_back({Attribute(node, L"Id"), Attribute(node, L"Path"),
                                                       Attribute(node, L"ThreadingModel")});
                       });
}
