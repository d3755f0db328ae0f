#include "automation_support.hpp"

#include <cstdio>
#include <cstdlib>

#include "tavrixrt/registry.hpp"

namespace tavrix_test {

PrivateRegistry::PrivateRegistry() : path_(dir_.file("registry")) {
    if (const char* p = std::getenv(tavrixrt::kRegistryEnvironmentVariable)) {
        previous_ = p;
        hadPrevious_ = true;
    }
    ::setenv(tavrixrt::kRegistryEnvironmentVariable, path_.c_str(), 1);
    // The machine's own registrations stay out of the test's sight.
    ::setenv(tavrixrt::kSystemRegistryEnvironmentVariable, systemPath().c_str(), 1);
}

PrivateRegistry::~PrivateRegistry() {
    if (hadPrevious_)
        ::setenv(tavrixrt::kRegistryEnvironmentVariable, previous_.c_str(), 1);
    else
        ::unsetenv(tavrixrt::kRegistryEnvironmentVariable);
    ::unsetenv(tavrixrt::kSystemRegistryEnvironmentVariable);
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

} // namespace tavrix_test
