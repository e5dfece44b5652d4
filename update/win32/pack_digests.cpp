#include "win32/pack_digests.hpp"

#include "win32/folder_walk.hpp"
#include "win32/work_on_threads.hpp"
#include "win32/ui/resource_ids.h"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "common/win32/ansi_text.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <array>
#include <memory>

namespace update {
namespace {

using common::Result;
using common::win32::UniqueAlgorithm;
using common::win32::UniqueFile;
using common::win32::UniqueHash;

// Large reads: few calls per file, and the file system reads ahead.
constexpr DWORD readSize = 1024 * 1024;
constexpr ULONG digestBytes = 32;

#define FAILED_NTSTATUS(function, status) FAILED_HRESULT(function, HRESULT_FROM_NT(status))

struct Listed {
    HeldItem item;            // open for reading, sharing only reading
    std::size_t listing = 0;  // the index of the root it was listed under
    PackFile file;
};

// One thread's hashing: its own provider and read buffer.
struct Hasher {
    UniqueAlgorithm algorithm;
    std::unique_ptr<UCHAR[]> buffer = std::make_unique<UCHAR[]>(readSize);

    Result<> open() {
        BCRYPT_ALG_HANDLE opened = nullptr;
        const NTSTATUS status =
            BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
        if (!BCRYPT_SUCCESS(status)) return FAILED_NTSTATUS(BCryptOpenAlgorithmProvider, status);
        algorithm.reset(opened);
        return {};
    }

    Result<> hash(Listed& listed) {
        const UniqueFile file = std::move(listed.item.handle);  // closed once hashed
        const std::wstring& path = listed.item.path;
        BCRYPT_HASH_HANDLE made = nullptr;
        NTSTATUS status = BCryptCreateHash(algorithm.get(), &made, nullptr, 0, nullptr, 0, 0);
        if (!BCRYPT_SUCCESS(status)) return FAILED_NTSTATUS(BCryptCreateHash, status).about(path);
        const UniqueHash hash(made);
        for (DWORD got = 0;; listed.file.size += got) {
            if (!ReadFile(file.get(), buffer.get(), readSize, &got, nullptr))
                return FAILED_CALL(ReadFile).about(path);
            if (got == 0) break;
            status = BCryptHashData(hash.get(), buffer.get(), got, 0);
            if (!BCRYPT_SUCCESS(status)) return FAILED_NTSTATUS(BCryptHashData, status).about(path);
        }
        UCHAR digest[digestBytes];
        status = BCryptFinishHash(hash.get(), digest, digestBytes, 0);
        if (!BCRYPT_SUCCESS(status)) return FAILED_NTSTATUS(BCryptFinishHash, status).about(path);
        listed.file.sha256 =
            common::hexOfBytes({reinterpret_cast<const char*>(digest), digestBytes});
        return {};
    }
};

// Reading and hashing overlap across files: while one thread waits for the
// disk, another hashes. Each worker has its own provider and buffer.
Result<> hashEach(std::vector<Listed>& files) {
    constexpr std::size_t hashThreads = 3;
    std::array<Hasher, hashThreads + 1> hashers;
    return workOnThreads(files.size(), hashThreads, [&](std::size_t i, std::size_t worker) {
        Hasher& hasher = hashers[worker];
        if (!hasher.algorithm) {
            if (auto opened = hasher.open(); !opened) return opened;
        }
        return hasher.hash(files[i]);
    });
}

// Adds the files under the held root to `files`, as listing `listing`:
// those of its folder tree, or the root alone with an empty path.
Result<> listFiles(HeldItem root, std::size_t listing, std::vector<Listed>& files) {
    const std::size_t rootLength = root.path.size();
    const auto add = [&](HeldItem& found, std::size_t) -> Result<> {
        if (isLink(found.attributes))
            return common::stopFailure(L"Update", L"a link in the staged copy: " + found.path);
        const std::wstring_view relative = std::wstring_view(found.path).substr(rootLength);
        std::string name = common::win32::wideToUtf8(relative.substr(relative.empty() ? 0 : 1));
        files.push_back(
            {std::move(found), listing, {.path = std::move(name), .size = 0, .sha256 = {}}});
        return {};
    };
    return walkTree(std::move(root), forReading, {.file = add});
}

// The record as the program carries it has each line's digest as its 32
// bytes, not the hex text sha256sum prints (res/carried_record.py): a
// search and replace of a digest's text across the media does not reach it.
// Gives the text readPackRecord reads; a cut line stays cut, and is refused.
std::string recordText(std::string_view carried) {
    std::string text;
    while (carried.size() > digestBytes) {
        const std::size_t end = carried.find('\n', digestBytes);
        const std::size_t next = end == std::string_view::npos ? carried.size() : end + 1;
        text += common::hexOfBytes(carried.substr(0, digestBytes));
        text += carried.substr(digestBytes, next - digestBytes);
        carried.remove_prefix(next);
    }
    return text += carried;
}

}  // namespace

Result<std::vector<std::vector<PackFile>>> listWithDigests(std::vector<HeldItem> roots) {
    std::vector<Listed> files;
    for (std::size_t i = 0; i < roots.size(); ++i) {
        if (!roots[i].handle) continue;  // nothing there
        if (auto listed = listFiles(std::move(roots[i]), i, files); !listed)
            return listed.failure();
    }
    // The longest hashes begin first, so none is left running alone at the end.
    std::ranges::stable_partition(files, [](const Listed& l) { return l.file.path.empty(); });
    if (auto hashed = hashEach(files); !hashed) return hashed.failure();
    std::vector<std::vector<PackFile>> listings(roots.size());
    for (Listed& listed : files) listings[listed.listing].push_back(std::move(listed.file));
    return listings;
}

Result<std::optional<PackRecord>> loadPackRecord() {
    const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_PACK_RECORD), RT_RCDATA);
    if (!found) {
        const DWORD error = GetLastError();
        if (error == ERROR_RESOURCE_TYPE_NOT_FOUND || error == ERROR_RESOURCE_NAME_NOT_FOUND)
            return std::optional<PackRecord>();
        return FAILED_STATUS(FindResourceA, error);
    }
    const HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return FAILED_CALL(LoadResource);
    auto record = readPackRecord(
        recordText({static_cast<const char*>(bytes), SizeofResource(nullptr, found)}));
    if (!record) return record.failure();
    return std::optional<PackRecord>(std::move(*record));
}

}  // namespace update
