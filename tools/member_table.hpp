// The host object's members as a script sees them: published name, argument types in slot order,
// result type, and how to call it on a korvex_dll.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host_script.hpp"
#include "korvex/korvex_dll.hpp"

namespace korvex::script {

struct MemberEntry {
    const char* name;
    std::vector<ArgType> params;
    ResultType result;
    // Calls the member and returns its result as the trace prints it.
    std::function<std::string(korvex_dll&, std::vector<Value>&)> invoke;
};

// nullptr when no member has that name.
const MemberEntry* find_member(const std::string& name);
const std::vector<MemberEntry>& member_table();

}  // namespace korvex::script
