// The command line after the command's name: positional values and flags.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace driver {

class Arguments {
public:
    explicit Arguments(std::vector<std::wstring> values) : values_(std::move(values)) {}

    std::size_t count() const { return values_.size(); }
    const std::wstring& at(std::size_t index) const { return values_.at(index); }

    // Removes "--name" and reports whether it was there.
    bool takeFlag(std::wstring_view name);
    // Removes "--name VALUE" and gives VALUE; none when absent. A flag
    // without its value gives the empty text, which no caller accepts.
    std::optional<std::wstring> takeOption(std::wstring_view name);

private:
    std::vector<std::wstring> values_;
};

// A decimal count (a timeout in milliseconds, a process id); none for
// anything else, so that a typo is reported instead of read as zero.
std::optional<unsigned long> parseCount(std::wstring_view text);

}  // namespace driver
