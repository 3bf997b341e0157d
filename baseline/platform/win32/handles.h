// One RAII type per kind of Win32 resource: the close call runs on every path,
// so function bodies carry no cleanup code and early returns are always safe.
#pragma once

#include <windows.h>

#include <io.h>

#include <cstdio>
#include <utility>

namespace baseline::win32 {

// Owns a resource described by Traits: its Type, its invalid() value and how
// to close() it.
template <typename Traits>
class Unique {
public:
    using Type = typename Traits::Type;

    Unique() = default;
    explicit Unique(Type value) : value_(value) {}
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept : value_(std::exchange(other.value_, Traits::invalid())) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Traits::invalid()));
        return *this;
    }
    ~Unique() { reset(); }

    Type get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::invalid(); }
    Type release() { return std::exchange(value_, Traits::invalid()); }
    void reset(Type value = Traits::invalid()) {
        if (value_ != Traits::invalid()) Traits::close(value_);
        value_ = value;
    }

private:
    Type value_ = Traits::invalid();
};

struct HandleTraits {
    using Type = HANDLE;
    static Type invalid() { return nullptr; }
    static void close(Type handle) { CloseHandle(handle); }
};

// CreateFileW reports failure as INVALID_HANDLE_VALUE, not as null.
struct FileTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Type handle) { CloseHandle(handle); }
};

// A C runtime file descriptor; closing it closes the handle it took over.
struct DescriptorTraits {
    using Type = int;
    static Type invalid() { return -1; }
    static void close(Type descriptor) { _close(descriptor); }
};

struct FindTraits {
    using Type = HANDLE;
    static Type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(Type handle) { FindClose(handle); }
};

struct FileStreamTraits {
    using Type = std::FILE*;
    static Type invalid() { return nullptr; }
    static void close(Type stream) { std::fclose(stream); }
};

using UniqueHandle = Unique<HandleTraits>;
using UniqueFile = Unique<FileTraits>;
using UniqueDescriptor = Unique<DescriptorTraits>;
using UniqueFind = Unique<FindTraits>;
using UniqueFileStream = Unique<FileStreamTraits>;

// A DLL loaded at run time; FreeLibrary gives it back.
struct ModuleTraits {
    using Type = HMODULE;
    static Type invalid() { return nullptr; }
    static void close(Type module) { FreeLibrary(module); }
};

using UniqueModule = Unique<ModuleTraits>;

// The signature's store, message and certificate are owned by the types in
// file_identity_libraries.h: they close through crypt32 as loaded at run time.

}  // namespace baseline::win32
