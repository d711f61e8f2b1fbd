#include "package/SharedLibrary.h"

#include <dlfcn.h>

std::string LoadSharedLibrary(const char* fileName, std::initializer_list<TSymbolSlot> slots) {
    auto failed = [&](const std::string& what) {
        for (const TSymbolSlot& slot : slots)
            *slot.Address = nullptr;
        return what;
    };
    // Local: the library's symbols stay out of the process's global scope.
    void* handle = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return failed(std::string(fileName) + " cannot be loaded" +
                      (why ? std::string(": ") + why : ""));
    }
    for (const TSymbolSlot& slot : slots) {
        void* address = dlsym(handle, slot.Name);
        if (!address) return failed(std::string(fileName) + " has no " + slot.Name);
        *slot.Address = address;
    }
    return {};
}
