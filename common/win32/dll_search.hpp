// The first call of each program's entry.
#pragma once

namespace common::win32 {

// From here on DLLs are loaded from the system folder only, never from
// beside the program on the media or from the current folder. Looked up at
// run time: systems before Windows 8 without KB2533623 lack the call, and
// then nothing changes.
void restrictDllSearchToSystem32();

}  // namespace common::win32
