#include "modules.h"

#include <string>
#include <utility>
#include <vector>
#include "syscalls.h"

namespace rt {

namespace {

std::vector<std::pair<std::string, HMODULE>>& Loaded() {
    static std::vector<std::pair<std::string, HMODULE>> modules;
    return modules;
}

} // namespace

HMODULE LoadSystemModule(const char* name) {
    for (const auto& m : Loaded())
        if (lstrcmpiA(m.first.c_str(), name) == 0) return m.second;
    HMODULE module = gSys.LoadLibraryA(name);
    if (module) Loaded().emplace_back(name, module);
    return module;
}

void FreeSystemModules() {
    std::vector<std::pair<std::string, HMODULE>> modules;
    modules.swap(Loaded());
    for (size_t i = modules.size(); i-- > 0;) gSys.FreeLibrary(modules[i].second);
}

} // namespace rt
