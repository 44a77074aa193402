#include "regscript/variable_expansion.h"

#include "regscript/replacement_map.h"
#include "runtime/unique_resource.h"

namespace {

// A growable text from the COM task allocator: count units used out of capacity.
class ExpansionBuffer {
public:
    // Room for twice the text's length, and never less than one unit for the terminator.
    bool Start(SIZE_T textLength)
    {
        if (textLength > kMaxUnits / 2) {
            return false;
        }
        capacity_ = textLength == 0 ? 1 : textLength * 2;
        data_.Reset(static_cast<WCHAR*>(CoTaskMemAlloc(capacity_ * sizeof(WCHAR))));
        return static_cast<bool>(data_);
    }

    bool Append(WCHAR unit)
    {
        if (count_ == capacity_ && !Grow()) {
            return false;
        }
        data_.Get()[count_++] = unit;
        return true;
    }

    WCHAR* Detach() { return data_.Detach(); }

private:
    static constexpr SIZE_T kMaxUnits = static_cast<SIZE_T>(-1) / sizeof(WCHAR) / 2;

    bool Grow()
    {
        if (capacity_ > kMaxUnits / 2) {
            return false;
        }
        SIZE_T capacity = capacity_ * 2;
        void* grown = CoTaskMemRealloc(data_.Get(), capacity * sizeof(WCHAR));
        if (!grown) {
            return false;  // the old block stays with data_
        }
        (void)data_.Detach();
        data_.Reset(static_cast<WCHAR*>(grown));
        capacity_ = capacity;
        return true;
    }

    SIZE_T count_ = 0;
    SIZE_T capacity_ = 0;
    UniqueCoTaskString data_;
};

// Copies the character at text, every unit of it; returns where the next one starts.
const WCHAR* AppendCharacter(ExpansionBuffer& buffer, const WCHAR* text, bool& ok)
{
    const WCHAR* next = NextCharacter(text);
    for (const WCHAR* unit = text; unit < next && ok; ++unit) {
        ok = buffer.Append(*unit);
    }
    return next;
}

}  // namespace

HRESULT ExpandVariables(ScriptReader& reader, const WCHAR* text, WCHAR** expanded)
{
    *expanded = nullptr;
    ExpansionBuffer buffer;
    if (!buffer.Start(static_cast<SIZE_T>(lstrlenW(text)))) {
        return E_OUTOFMEMORY;
    }

    bool ok = true;
    const WCHAR* walk = text;
    while (*walk != 0 && ok) {
        if (*walk != L'%') {
            walk = AppendCharacter(buffer, walk, ok);
            continue;
        }
        walk = NextCharacter(walk);
        if (*walk == L'%') {
            ok = buffer.Append(L'%');
            walk = NextCharacter(walk);
            continue;
        }

        // A variable: its name runs up to the next "%". Only the first units that fit are
        // kept; the length decides once the closing "%" is found.
        WCHAR name[kMaxVariableNameLength + 1];
        SIZE_T length = 0;
        for (; *walk != 0 && *walk != L'%'; walk = NextCharacter(walk)) {
            for (const WCHAR* unit = walk; unit < NextCharacter(walk); ++unit, ++length) {
                if (length < kMaxVariableNameLength) {
                    name[length] = *unit;
                }
            }
        }
        if (*walk == 0) {
            return DISP_E_EXCEPTION;
        }
        if (length > kMaxVariableNameLength) {
            return E_FAIL;
        }
        name[length] = 0;
        walk = NextCharacter(walk);

        const WCHAR* value = reader.replacements ? reader.replacements->Lookup(name) : nullptr;
        if (!value) {
            return DISP_E_EXCEPTION;
        }
        for (const WCHAR* unit = value; *unit && ok; ++unit) {
            ok = buffer.Append(*unit);
        }
    }
    if (!ok || !buffer.Append(0)) {
        return E_OUTOFMEMORY;
    }
    *expanded = buffer.Detach();
    return S_OK;
}
