#pragma once
// What a package manifest declares for Explorer's first-level context menu, read with the
// platform's own XML parser (MSXML 6): the commands offered for an item type, and the COM
// classes the package serves from DLLs in its external location.

#include <windows.h>

#include <string>
#include <vector>

struct ManifestVerb {
    std::wstring itemType;  // "*": files of every type
    std::wstring id;
    std::wstring clsid;     // as written: no braces
};

struct ManifestClass {
    std::wstring id;
    std::wstring path;      // relative to the package's external location
    std::wstring threadingModel;
};

struct PackageManifest {
    std::wstring identityName;
    std::wstring identityPublisher;
    std::wstring allowExternalContent;
    std::vector<ManifestVerb> verbs;
    std::vector<ManifestClass> classes;
};

// S_OK with what the manifest declares; the parser's failure when it is not well-formed XML,
// with its reason (and line) in problem. Needs COM on the calling thread.
HRESULT ReadPackageManifest(const std::wstring& path, PackageManifest& manifest, std::wstring& problem);
