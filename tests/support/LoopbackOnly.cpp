// Linked into every test program: the proxy variables of the machine's environment are dropped before anything
// runs, so the tests' loopback traffic never goes to a proxy (and off this machine). A test that is about proxies
// sets its own.
#include <cstdlib>
#include <initializer_list>

namespace {

struct DropProxyVariables {
    DropProxyVariables()
    {
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy",
                                 "NO_PROXY"})
            ::unsetenv(name);
    }
} const dropProxyVariables;

} // namespace
