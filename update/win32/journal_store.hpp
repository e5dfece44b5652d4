#pragma once

#include "core/deployment.hpp"

#include "common/win32/unique_any.hpp"

#include <string>
#include <vector>

namespace update {

// The install's journals, under the product's registry record in a key of
// their own that only SYSTEM and Administrators may read or change
// (HKLM\SOFTWARE\KVB\Orvexa\Update journals, in this program's registry
// view): one subkey per run, named by its id, with the installation folder
// in "Folder" and the journal's text in "Journal". Before anything there is
// read, the key, and each run's key, must be owned by SYSTEM or
// Administrators and let nobody else change it; otherwise someone else may
// have written it, and the store fails. Every write is flushed. The key is
// made with the first journal and goes with the last.
class RegistryJournalStore final : public JournalStore {
public:
    common::Result<std::vector<std::string>> journalsOf(const std::string& folder) override;
    common::Result<std::string> read(const std::string& id) override;
    Result create(const std::string& id, const std::string& folder,
                  const std::string& text) override;
    Result write(const std::string& id, const std::string& text) override;
    Result remove(const std::string& id) override;

private:
    // The journals' key, opened (or made, when `make`) and checked on first
    // use. It lives only while some run has a journal.
    common::Result<HKEY> journals(bool make);
    common::Result<common::win32::UniqueKey> openRun(const std::string& id, REGSAM access);

    common::win32::UniqueKey journals_;
};

}  // namespace update
