// The program's command line: "/unattended" runs at once without a person
// and ends by itself, "/check" checks without a run, "/recover" deals with an
// interrupted run alone, "/keep:N" bounds the backups kept, "/?" asks for
// the usage; anything else is refused before anything is touched.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace car {

class CommandLine {
public:
    // `taken` is offered each argument first, and keeps those it knows.
    CommandLine(const std::vector<std::wstring>& arguments, const std::function<bool(const std::wstring&)>& taken);

    // Whether the arguments ask for a run without a person, known before
    // anything else so that not even a failure to start shows a box.
    static bool IsUnattended(const std::vector<std::wstring>& arguments);
    static const wchar_t* Usage();

    bool unattended() const { return unattended_; }
    bool checkOnly() const { return checkOnly_; }
    bool recoverOnly() const { return recoverOnly_; }
    bool usage() const { return usage_; }
    // The first argument that is none of the program's; empty when there is none.
    const std::wstring& unknown() const { return unknown_; }

private:
    bool unattended_ = false;
    bool checkOnly_ = false;
    bool recoverOnly_ = false;
    bool usage_ = false;
    std::wstring unknown_;
};

}  // namespace car
