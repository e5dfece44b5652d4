// The dialog's one-line status text; a sink that drops the text stands in
// when no dialog exists (command-line modes).
#pragma once

#include <string>

namespace velquin {

class StatusLine {
public:
    virtual ~StatusLine() = default;
    virtual void set(const std::wstring& text) = 0;
};

class NoStatusLine final : public StatusLine {
public:
    void set(const std::wstring&) override {}
};

}  // namespace velquin
