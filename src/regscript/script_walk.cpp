#include "regscript/script_walk.h"

#include "regscript/block_interpreter.h"
#include "regscript/root_keys.h"
#include "regscript/variable_expansion.h"
#include "runtime/unique_resource.h"

HRESULT RunScript(ScriptReader& reader, const WCHAR* text, BOOL doRegister)
{
    WCHAR* expandedText = nullptr;
    HRESULT result = ExpandVariables(reader, text, &expandedText);
    if (FAILED(result)) {
        return result;
    }
    UniqueCoTaskString expanded(expandedText);

    WCHAR token[kTokenUnits];
    reader.cursor = expanded.Get();
    while (*reader.cursor != 0) {
        result = ReadToken(reader, token);
        if (FAILED(result)) {
            return result;
        }
        HKEY root = LookupRootKey(token);
        if (!root) {
            return DISP_E_EXCEPTION;
        }
        result = ReadToken(reader, token);
        if (FAILED(result)) {
            return result;
        }
        if (token[0] != L'{') {
            return DISP_E_EXCEPTION;
        }

        if (doRegister) {
            const WCHAR* blockStart = reader.cursor;
            result = ProcessBlock(reader, token, root, true, false);
            if (FAILED(result)) {
                reader.cursor = blockStart;
                (void)ProcessBlock(reader, token, root, false, false);  // undo; first failure wins
                return result;
            }
        } else {
            result = ProcessBlock(reader, token, root, false, false);
            if (FAILED(result)) {
                return result;
            }
        }
        SkipBlanks(reader);
    }
    return S_OK;
}
