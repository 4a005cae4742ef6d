// The JET engine's own process. The program starts itself again to run one
// compaction there, so that an engine that crashes on a damaged database
// ends that process and not the run, which reports the end and, unattended,
// starts the suite again. Both sides are here: the command line and the
// answer that pass between them, and the child's own work.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/win32/com.h"
#include "platform/win32/handle.h"

namespace car::win32 {

// The one argument that makes the program the engine's host. The child takes
// it only in the form the parent gives: the program's path, this switch, the
// value of the handle of the parent's process that it inherited and the two
// connection strings, its standard output the parent's pipe. The handle
// travels on the command line, not as a standard handle: Wine hands a child
// only files and pipes there.
inline constexpr wchar_t kEngineChildSwitch[] = L"/jet-engine-child";

// The child's answer never exceeds this, well inside the pipe's buffer, so
// that it is written whole without the parent reading meanwhile.
inline constexpr DWORD kEngineAnswerMaxBytes = 4096;

// The command line the parent starts the child with, its arguments quoted so
// that the C runtime's splitter gives them back unchanged.
std::wstring engineChildCommandLine(const std::wstring& program, HANDLE parent, const std::wstring& source,
                                    const std::wstring& destination);

// The exit code of an engine that ended itself because the process that
// started it was gone (the letters "CARO"): nobody waited for its answer.
inline constexpr DWORD kEngineParentGoneExit = 0x4341524F;

// The engine's process as the parent starts it: suspended, so that it can be
// put in a job before it runs.
struct EngineChild {
    UniqueHandle process;
    UniqueHandle thread;  // its first thread, not yet resumed
    UniqueHandle answer;  // the read end of the pipe it answers on
};

// Starts `program` as the engine's host, suspended: by its full path, at
// normal priority (not a scheduled run's below-normal one), hidden, in
// `folder`, inheriting two handles and no other: the pipe's write end as its
// standard output, and this process's, for waiting on and reading its id.
EngineChild startEngineChild(const std::wstring& program, const std::wstring& source, const std::wstring& destination,
                             const std::wstring& folder);

// The child's answer: the engine's error (number 0: the compaction is done),
// as bytes for the pipe and back. Nothing when the bytes are not one whole
// answer.
std::string encodeEngineAnswer(const Error& outcome);
std::optional<Error> decodeEngineAnswer(const std::string& bytes);

// The engine object, by its ProgID, created in the calling thread's apartment.
ComPtr<IDispatch> createEngineObject();

// For the first lines of the program's entry point. When an argument is the
// engine's switch in any form, the child's work (or its refusal, with the
// unknown argument's exit code, when the command line is not exactly the
// parent's) and the exit code to end with; otherwise nothing, and the program
// starts as usual. Shows nothing, whatever happens.
std::optional<int> runAsEngineChildIfAsked();

}  // namespace car::win32
