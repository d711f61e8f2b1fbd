#pragma once
// A shared library opened when a package first needs it. The container formats' libraries, and
// what they pull in (GLib, GIO, libxml2, ICU), cost every start of the program about as much
// again as listing a small cabinet; most runs open a bare cabinet and never need them.
#include <initializer_list>
#include <string>

// A symbol to look up and where its address goes.
struct TSymbolSlot {
    const char* Name;
    void** Address;
};

// Opens the library by its file name (an soname such as "libarchive.so.13") and fills every
// slot from it and the libraries it depends on. Answers why that cannot be done, naming the
// library or the first symbol missing (the slots are then left null); empty when it was. The
// library stays loaded for the life of the process.
[[nodiscard]] std::string LoadSharedLibrary(const char* fileName,
                                            std::initializer_list<TSymbolSlot> slots);

// A slot for a function pointer of any type.
template <typename F> TSymbolSlot Slot(const char* name, F*& function) {
    static_assert(sizeof(F*) == sizeof(void*));
    return {name, reinterpret_cast<void**>(&function)};
}
