#include "extension/case_folding.h"

namespace {

struct UpperCaseTable {
    bool upper[256];
};

constexpr UpperCaseTable MakeUpperCaseTable()
{
    UpperCaseTable table = {};
    for (int unit = 'A'; unit <= 'Z'; ++unit) {
        table.upper[unit] = true;
    }
    return table;
}

// Only 'A' to 'Z': the Latin-1 capitals 0xC0 to 0xDE are deliberately not marked.
constexpr UpperCaseTable kUpperCaseTable = MakeUpperCaseTable();

enum Classifier : LONG { kNotChosen, kWideType, kAnsiType, kNoClassifier };

volatile LONG chosenClassifier = kNotChosen;

Classifier ChooseClassifier()
{
    WORD type = 0;
    if (GetStringTypeW(CT_CTYPE1, L"A", 1, &type)) {
        return kWideType;
    }
    if (GetStringTypeA(LOCALE_USER_DEFAULT, CT_CTYPE1, "A", 1, &type)) {
        return kAnsiType;
    }
    return kNoClassifier;
}

// The choice is made once; two threads that race to make it reach the same answer.
Classifier CurrentClassifier()
{
    LONG chosen = chosenClassifier;
    if (chosen == kNotChosen) {
        chosen = ChooseClassifier();
        InterlockedExchange(&chosenClassifier, chosen);
    }
    return static_cast<Classifier>(chosen);
}

WCHAR Fold(WCHAR unit)
{
    return IsUpperCaseUnit(unit) ? unit : static_cast<WCHAR>(unit - 0x20);
}

}  // namespace

namespace case_folding_detail {

bool UpperByWideType(WCHAR unit)
{
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE1, &unit, 1, &type) && (type & C1_UPPER) != 0;
}

bool UpperByAnsiType(WCHAR unit)
{
    char narrow[4] = {};
    int length = WideCharToMultiByte(CP_ACP, 0, &unit, 1, narrow, sizeof(narrow), nullptr, nullptr);
    if (length <= 0) {
        return false;
    }
    WORD types[4] = {};
    return GetStringTypeA(LOCALE_USER_DEFAULT, CT_CTYPE1, narrow, length, types) &&
           (types[0] & C1_UPPER) != 0;
}

}  // namespace case_folding_detail

bool IsUpperCaseUnit(WCHAR unit)
{
    if (unit == 0xFFFF) {
        return false;
    }
    if (unit < 256) {
        return kUpperCaseTable.upper[unit];
    }
    switch (CurrentClassifier()) {
    case kWideType:
        return case_folding_detail::UpperByWideType(unit);
    case kAnsiType:
        return case_folding_detail::UpperByAnsiType(unit);
    default:
        return false;
    }
}

int CompareFolded(const WCHAR* text, const WCHAR* pattern, int count)
{
    for (int index = 0; index < count; ++index) {
        WCHAR textUnit = text[index];
        WCHAR patternUnit = pattern[index];
        if (textUnit == 0 && patternUnit == 0) {
            return 0;
        }
        if (textUnit == 0) {
            return -1;
        }
        if (patternUnit == 0) {
            return 1;
        }
        WCHAR foldedText = Fold(textUnit);
        WCHAR foldedPattern = Fold(patternUnit);
        if (foldedText != foldedPattern) {
            return static_cast<int>(foldedText) - static_cast<int>(foldedPattern);
        }
    }
    return 0;
}
