#pragma once

#include "deployment.hpp"

#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <vector>

namespace update {

// COM initialisation for the length of one install step. A thread already
// initialised in another apartment mode is usable as it is and is left alone.
class ComScope {
public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    bool usable() const { return usable_; }

private:
    bool usable_ = false;
    bool mustUninitialize_ = false;
};

// Owns one reference to a COM object.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* get() const { return ptr_; }
    Interface* operator->() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }
    // For creation functions that hand out a new reference.
    void** out() {
        reset();
        return reinterpret_cast<void**>(&ptr_);
    }
    void reset() {
        if (ptr_) ptr_->Release();
        ptr_ = nullptr;
    }

private:
    Interface* ptr_ = nullptr;
};

// Owns a VARIANT and whatever it holds.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : Variant() { std::swap(value_, other.value_); }

    static Variant text(const std::wstring& s);
    static Variant boolean(bool b);

    VARIANT* get() { return &value_; }
    const VARIANT& value() const { return value_; }
    bool valid() const { return value_.vt != VT_EMPTY; }

private:
    VARIANT value_;
};

// Converts text of the ANSI code page, as the registry and the media hand it over.
std::wstring ansiToWide(const std::string& text);

// The install step's file operations, done by the platform's scripting file
// system object where it has the operation.
class FsoFileSystem : public FileSystem {
public:
    // Creates the object; check created() before use.
    FsoFileSystem();

    bool created() const { return static_cast<bool>(fso_); }

    bool fileExists(const std::string& path) override;
    bool folderExists(const std::string& path) override;
    bool deleteFolder(const std::string& path) override;
    bool deleteFile(const std::string& path) override;
    bool createFolder(const std::string& path) override;
    bool copyFolder(const std::string& src, const std::string& dst) override;
    bool copyFile(const std::string& src, const std::string& dst, bool overwrite) override;
    bool rename(const std::string& src, const std::string& dst) override;
    bool canOpenExclusively(const std::string& path) override;
    bool canRemoveAll(const std::string& folder) override;
    bool flush(const std::string& path) override;
    std::optional<std::string> readFile(const std::string& path) override;
    bool appendDurably(const std::string& path, const std::string& text) override;

private:
    // Calls a method by name; nullopt when the name is unknown or the call
    // raised an error. Arguments are given in their natural order.
    std::optional<Variant> call(const wchar_t* method, std::vector<Variant>& args);
    bool callSucceeds(const wchar_t* method, std::vector<Variant> args);
    bool callIsTrue(const wchar_t* method, const std::string& path);

    ComPtr<IDispatch> fso_;
};

}  // namespace update
