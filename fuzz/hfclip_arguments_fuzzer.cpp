// Fuzz target for hfclip's size arguments: the input, split at its NUL bytes,
// gives argument texts for ConvertSizeArgument, and its first 24 bytes three
// 64-bit numbers for KeptRangeFits. Both are checked against a reference that
// works in 128 bits, and the conversion against strtoll where both accept.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "hfclip.h"

namespace {

using Wide = __int128;

constexpr int64_t kUntouched = 0x5A5A5A5A5A5A5A5A;

[[noreturn]] void Violation(const char* what, const std::string& text) {
    d88fuzz::ReportViolation("hfclip_arguments_fuzzer",
                             std::string(what) + " for \"" + text + "\"");
}

// The conversion in plain words: white space, one sign, digits; fits when the
// digits' value is at most INT64_MAX.
bool ReferenceConversion(const char* text, int64_t& value) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    Wide magnitude = 0;
    bool tooLarge = false;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > INT64_MAX) {
            tooLarge = true;
            // Staying above the limit is all that matters from here on.
            magnitude = Wide{INT64_MAX} + 1;
        }
    }
    if (tooLarge) {
        return false;
    }
    value = static_cast<int64_t>(negative ? -magnitude : magnitude);
    return true;
}

void CheckConversion(const std::string& text) {
    int64_t value = kUntouched;
    const bool converted = ConvertSizeArgument(text.c_str(), value);
    int64_t expected = kUntouched;
    if (converted != ReferenceConversion(text.c_str(), expected)) {
        Violation(converted ? "accepted digits beyond 64 bits" : "refused a 64-bit value", text);
    }
    if (value != expected) {
        Violation(converted ? "wrong value" : "value changed by a refused conversion", text);
    }
    if (converted) {
        errno = 0;
        const long long standard = std::strtoll(text.c_str(), nullptr, 10);
        if (errno == 0 && standard != value) {
            Violation("value differs from strtoll", text);
        }
    }
}

void CheckKeptRange(int64_t fileSize, int64_t headerCutSize, int64_t cutSize) {
    const bool expected = Wide{headerCutSize} + cutSize <= fileSize;
    if (KeptRangeFits(fileSize, headerCutSize, cutSize) != expected) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "%lld %lld %lld", static_cast<long long>(fileSize),
                      static_cast<long long>(headerCutSize), static_cast<long long>(cutSize));
        Violation(expected ? "kept range refused" : "kept range accepted", numbers);
    }
}

int64_t Little64(const uint8_t* bytes) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    }
    return static_cast<int64_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    d88fuzz::KeepStandardError();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> texts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\0') {
            texts.emplace_back();
        } else {
            texts.back().push_back(static_cast<char>(data[i]));
        }
    }
    std::vector<int64_t> values;
    for (const std::string& text : texts) {
        CheckConversion(text);
        int64_t value = 0;
        if (ConvertSizeArgument(text.c_str(), value)) {
            values.push_back(value);
        }
    }
    // The size test as a run makes it: a file size of 0 or more, the header
    // cut size and the cut size from the arguments.
    if (values.size() >= 2) {
        CheckKeptRange(static_cast<int64_t>(size), values[0], values[1]);
        CheckKeptRange(values.size() >= 3 ? values[2] : INT64_MAX, values[0], values[1]);
    }
    if (size >= 24) {
        CheckKeptRange(Little64(data), Little64(data + 8), Little64(data + 16));
    }
    return 0;
}
