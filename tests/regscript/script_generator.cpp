#include "script_generator.h"

#include <algorithm>
#include <vector>

const wchar_t kVariableValue[] = L"r=e%p;l";

namespace {

const wchar_t kGuidHead[] = L"{5EED";

class Generator {
public:
    explicit Generator(uint32_t seed) : random_(seed) {}

    GeneratedBlock Block()
    {
        GeneratedBlock block;
        Entries(L"", 0, block);
        std::sort(lines_.begin(), lines_.end());
        for (const std::wstring& line : lines_) {
            block.expected += line + L"\n";
        }
        return block;
    }

private:
    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
    bool Chance(int percent) { return Pick(100) < percent; }

    std::wstring Blank()
    {
        static const wchar_t* const blanks[] = {L" ", L"\t", L"\r\n", L"\n  ", L"  "};
        return blanks[Pick(5)];
    }

    // Renders text as one token: bare when it can be, quoted (apostrophes doubled) otherwise
    // or when chosen. "%" is always written "%%".
    std::wstring Token(const std::wstring& text, bool mayBeBare = true)
    {
        std::wstring escaped;
        bool needsQuotes = text.empty() || text[0] == L'\'';
        for (wchar_t unit : text) {
            needsQuotes |= unit == L' ' || unit == L'\t';
            escaped += unit == L'%' ? L"%%" : std::wstring(1, unit);
        }
        if (!needsQuotes && mayBeBare && Chance(50)) {
            return escaped;
        }
        std::wstring quoted = L"'";
        for (wchar_t unit : escaped) {
            quoted += unit == L'\'' ? L"''" : std::wstring(1, unit);
        }
        return quoted + L"'";
    }

    // "{5EEDnnnn-xxxx-xxxx-xxxx-xxxxxxxxxxxx}": the name's number, then hex digits of either case.
    std::wstring GuidName()
    {
        wchar_t number[5];
        swprintf(number, 5, L"%04X", ++names_);
        std::wstring name = kGuidHead + std::wstring(number);
        static const wchar_t digits[] = L"0123456789ABCDEFabcdef";
        for (int group : {4, 4, 4, 12}) {
            name += L'-';
            for (int count = 0; count < group; ++count) {
                name += digits[Pick(22)];
            }
        }
        return name + L'}';
    }

    std::wstring Name(const wchar_t* prefix)
    {
        static const wchar_t* const tails[] = {L"", L"", L"x", L" it's", L"'", L"%", L"\u00e9\u4e2d",
                                               L"=", L"a b"};
        return prefix + std::to_wstring(++names_) + tails[Pick(9)];
    }

    // A value clause: the text after "=", and the Dump() form of what it writes.
    std::pair<std::wstring, std::wstring> Clause()
    {
        static const wchar_t letters[] = L"sSdDbB";
        int kind = Pick(3);
        std::wstring head = L"=" + Blank() + letters[kind * 2 + Pick(2)] + Blank();
        if (kind == 1) {
            uint32_t number = std::uniform_int_distribution<uint32_t>()(random_);
            return {head + Token(std::to_wstring(number)), L"D " + std::to_wstring(number)};
        }
        if (kind == 2) {
            std::wstring digits, bytes;
            for (int count = Pick(6); count > 0; --count) {
                int value = Pick(256);
                wchar_t hex[3];
                swprintf(hex, 3, Chance(50) ? L"%02x" : L"%02X", value);
                digits += hex;
                swprintf(hex, 3, L"%02x", value);
                bytes += hex;
            }
            return {head + Token(digits), L"B " + bytes};
        }
        static const wchar_t pool[] = L"abcXYZ019 '%=\\.-_\u00e9\u4e2d\t";
        std::wstring text;
        for (int count = Pick(12); count > 0; --count) {
            text += pool[Pick(static_cast<int>(wcslen(pool)))];
        }
        std::wstring rendered = Token(text);
        if (Chance(15)) {  // a variable, inside quotes or out
            rendered = L"'a%Var%'";
            text = std::wstring(L"a") + kVariableValue;
        }
        return {head + rendered, L"S " + text};
    }

    void Entries(const std::wstring& path, int depth, GeneratedBlock& block)
    {
        std::wstring prefix = path.empty() ? L"" : path + L"\\";
        for (int values = Chance(30) ? Pick(3) : 0; values > 0; --values) {
            static const wchar_t* const keywords[] = {L"val", L"Val", L"VAL", L"'Val'"};
            std::wstring name = Chance(20) ? GuidName() : Name(L"qv");
            auto [clause, dump] = Clause();
            block.entries += keywords[Pick(4)] + Blank() + Token(name) + Blank() + clause + Blank();
            lines_.push_back(path + L":" + name + L"=" + dump);
        }
        for (int keys = Pick(depth == 0 ? 5 : 4 - depth); keys > 0 && names_ < 40; --keys) {
            // A GUID-named key mostly stands alone, as under "Implemented Categories".
            bool guid = Chance(30);
            std::wstring name = guid ? GuidName() : Name(L"qz");
            if (Chance(15)) {
                block.entries += (Chance(50) ? L"ForceRemove" : L"forceremove") + Blank();
            }
            block.entries += Token(name) + Blank();
            lines_.push_back(prefix + name + L"/");
            if (Chance(guid ? 20 : 60)) {
                auto [clause, dump] = Clause();
                block.entries += clause + Blank();
                lines_.push_back(prefix + name + L":=" + dump);
            }
            if (depth < 3 && Chance(guid ? 20 : 50)) {
                block.entries += L"{" + Blank();
                Entries(prefix + name, depth + 1, block);
                block.entries += L"}" + Blank();
            }
        }
    }

    std::mt19937 random_;
    std::vector<std::wstring> lines_;
    int names_ = 0;
};

std::vector<std::wstring> SplitAtBlanks(const std::wstring& text)
{
    std::vector<std::wstring> tokens;
    size_t start = 0;
    while ((start = text.find_first_not_of(L" \t\r\n", start)) != std::wstring::npos) {
        size_t end = text.find_first_of(L" \t\r\n", start);
        tokens.push_back(text.substr(start, end - start));
        start = end;
    }
    return tokens;
}

}  // namespace

GeneratedBlock GenerateBlock(uint32_t seed)
{
    return Generator(seed).Block();
}

bool IsGeneratedName(const wchar_t* name)
{
    return (name[0] == L'q' && (name[1] == L'z' || name[1] == L'v' || name[1] == L'r')) ||
           wcsncmp(name, kGuidHead, wcslen(kGuidHead)) == 0;
}

std::wstring Mutate(const std::wstring& text, std::mt19937& random)
{
    auto pick = [&](size_t count) {
        return count ? std::uniform_int_distribution<size_t>(0, count - 1)(random) : 0;
    };
    std::vector<std::wstring> tokens = SplitAtBlanks(text);
    for (int mutations = 1 + static_cast<int>(pick(2)); mutations > 0; --mutations) {
        size_t at = pick(tokens.size() + 1);
        static const wchar_t* const inserts[] = {L"{", L"}", L"'", L"=", L"ForceRemove", L"Delete",
                                                 L"NoRemove", L"Val", L"s", L"b", L"''"};
        static const wchar_t junk[] = L"{}'=%\\!\"\x01\x0b\x0c\u00e9\u4e2d\xd800zZ09";
        std::wstring randomToken = L"qr";
        switch (pick(9)) {
        case 0:  // truncation, anywhere in a token
            if (at < tokens.size()) {
                tokens[at].resize(pick(tokens[at].size() + 1));
                tokens.resize(at + 1);
            }
            break;
        case 1:
            if (at < tokens.size()) {
                tokens.erase(tokens.begin() + at);
            }
            break;
        case 2:
            if (at < tokens.size()) {
                tokens.insert(tokens.begin() + at, tokens[at]);
            }
            break;
        case 3:
            if (!tokens.empty()) {
                std::swap(tokens[pick(tokens.size())], tokens[pick(tokens.size())]);
            }
            break;
        case 4:
            tokens.insert(tokens.begin() + at, inserts[pick(11)]);
            break;
        case 5:  // an apostrophe taken out of, or put into, a token
            if (at < tokens.size() && !tokens[at].empty()) {
                size_t quote = tokens[at].find(L'\'');
                if (quote != std::wstring::npos) {
                    tokens[at].erase(quote, 1);
                } else {
                    tokens[at].insert(pick(tokens[at].size() + 1), 1, L'\'');
                }
            }
            break;
        case 6: {  // over-long tokens and names, just past and far past each bound
            static const size_t lengths[] = {259, 260, 4094, 4095, 5000};
            std::wstring longToken(lengths[pick(5)], L'q');
            tokens.insert(tokens.begin() + at, pick(2) ? longToken : L"'" + longToken + L"'");
            break;
        }
        case 7:
            for (size_t count = 1 + pick(8); count > 0; --count) {
                randomToken += junk[pick(wcslen(junk))];
            }
            tokens.insert(tokens.begin() + at, randomToken);
            break;
        default:  // an over-long variable name, or one without its end
            tokens.insert(tokens.begin() + at, pick(2) ? L"%" + std::wstring(32, L'n') + L"%" : L"%Var");
            break;
        }
    }
    std::wstring joined;
    for (const std::wstring& token : tokens) {
        joined += token + L" ";
    }
    return joined;
}
