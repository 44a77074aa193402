#pragma once
// Seeded generator of well-formed registry script blocks, and a mutator that breaks them.

#include <cstdint>
#include <random>
#include <string>

struct GeneratedBlock {
    std::wstring entries;   // the inside of one block, without its braces
    std::wstring expected;  // Dump() of an empty key after the block has been registered into it
};

// Nested keys, default and named S/D/B values, quoted and bare names with apostrophes,
// ForceRemove and Val. Names begin with "qz" (keys) or "qv" (values), or are GUIDs in braces
// beginning "{5EED" (keys, often with neither value nor block, and values). "%Var%" may
// appear; the run's map must give Var the value kVariableValue.
GeneratedBlock GenerateBlock(uint32_t seed);
extern const wchar_t kVariableValue[];

// True for the names GenerateBlock and Mutate make ("qr" for Mutate's random tokens).
bool IsGeneratedName(const wchar_t* name);

// One or two of: truncation, dropped, duplicated, swapped or inserted tokens (braces,
// apostrophes, keywords), over-long tokens and names, random units. Random tokens also begin
// with "qr", so that whatever a broken script creates can be found and removed.
std::wstring Mutate(const std::wstring& text, std::mt19937& random);
