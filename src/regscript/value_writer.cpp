#include "regscript/value_writer.h"

namespace {

struct ValueTypeRow {
    const WCHAR* letter;
    VARTYPE kind;
};

const ValueTypeRow kValueTypeTable[] = {
    {L"S", VT_BSTR},
    {L"D", VT_UI4},
    {L"B", VT_UI1},
    {nullptr, VT_EMPTY},
};

void WriteString(HKEY key, const WCHAR* name, const WCHAR* text)
{
    DWORD bytes = static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(WCHAR));
    (void)RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

HRESULT WriteNumber(HKEY key, const WCHAR* name, WCHAR* text)
{
    // A text that holds no number fails the entry rather than writing an undefined one.
    ULONG number = 0;
    if (FAILED(VarUI4FromStr(text, 0, 0, &number))) {
        return DISP_E_EXCEPTION;
    }
    DWORD data = number;
    (void)RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                         sizeof(data));
    return S_OK;
}

HRESULT WriteBinary(HKEY key, const WCHAR* name, const WCHAR* digits)
{
    int length = lstrlenW(digits);
    if (length % 2 != 0) {
        return E_FAIL;
    }
    BYTE bytes[kTokenUnits / 2] = {};  // a token holds at most kMaxTokenLength digits
    for (int index = 0; index < length; ++index) {
        BYTE digit = HexDigitValue(digits[index]);
        bytes[index / 2] |= index % 2 == 0 ? static_cast<BYTE>(digit << 4) : digit;
    }
    (void)RegSetValueExW(key, name, 0, REG_BINARY, bytes, static_cast<DWORD>(length / 2));
    return S_OK;
}

}  // namespace

VARTYPE LookupValueType(const WCHAR* letter)
{
    for (const ValueTypeRow* row = kValueTypeTable; row->letter; ++row) {
        if (lstrcmpiW(letter, row->letter) == 0) {
            return row->kind;
        }
    }
    return VT_EMPTY;
}

BYTE HexDigitValue(WCHAR character)
{
    if (character >= L'0' && character <= L'9') {
        return static_cast<BYTE>(character - L'0');
    }
    if (character >= L'A' && character <= L'F') {
        return static_cast<BYTE>(character - L'A' + 10);
    }
    if (character >= L'a' && character <= L'f') {
        return static_cast<BYTE>(character - L'a' + 10);
    }
    return 0;
}

HRESULT WriteValue(ScriptReader& reader, HKEY key, const WCHAR* valueName, WCHAR* token)
{
    WCHAR type[kTokenUnits];
    HRESULT result = ReadToken(reader, type);
    if (FAILED(result)) {
        return result;
    }
    VARTYPE kind = LookupValueType(type);
    if (kind == VT_EMPTY) {
        return DISP_E_EXCEPTION;
    }

    SkipBlanks(reader);
    WCHAR value[kTokenUnits];
    result = ReadToken(reader, value);
    if (FAILED(result)) {
        return result;
    }

    switch (kind) {
    case VT_BSTR:
        WriteString(key, valueName, value);
        break;
    case VT_UI4:
        result = WriteNumber(key, valueName, value);
        break;
    default:
        result = WriteBinary(key, valueName, value);
        break;
    }
    if (FAILED(result)) {
        return result;
    }
    return ReadToken(reader, token);
}
