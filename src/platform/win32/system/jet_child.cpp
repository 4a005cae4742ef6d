// The JET engine's process: what passes between it and the run, and its own
// work, reached by its ProgID and called by name through IDispatch, as an
// automation client would.
#include "platform/win32/system/jet_child.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/error_text.h"
#include "platform/win32/system/own_process.h"

namespace car::win32 {

namespace {

constexpr char kAnswerMark[4] = {'C', 'A', 'R', 'J'};
constexpr std::size_t kAnswerHeader = sizeof kAnswerMark + 2 * sizeof(std::uint32_t);

// The C runtime's rules: backslashes are literal unless they precede a
// double quote, so those are doubled along with the quote's own escape.
std::wstring quoted(const std::wstring& argument) {
    std::wstring text = L"\"";
    for (auto at = argument.begin();; ++at) {
        std::size_t backslashes = 0;
        for (; at != argument.end() && *at == L'\\'; ++at) ++backslashes;
        if (at == argument.end()) {
            text.append(backslashes * 2, L'\\');
            break;
        }
        if (*at == L'"') {
            text.append(backslashes * 2 + 1, L'\\');
        } else {
            text.append(backslashes, L'\\');
        }
        text.push_back(*at);
    }
    return text + L"\"";
}

void appendWord(std::string& bytes, std::uint32_t word) {
    char raw[sizeof word];
    std::memcpy(raw, &word, sizeof word);
    bytes.append(raw, sizeof raw);
}

std::uint32_t wordAt(const std::string& bytes, std::size_t offset) {
    std::uint32_t word = 0;
    std::memcpy(&word, bytes.data() + offset, sizeof word);
    return word;
}

// The failure an automation object raised, as its EXCEPINFO tells it.
Error exceptionError(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    Bstr source, description, helpFile;
    source.adopt(info.bstrSource);
    description.adopt(info.bstrDescription);
    helpFile.adopt(info.bstrHelpFile);
    // A wCode is the object's own error number; as an HRESULT it lives under
    // FACILITY_CONTROL, where the scripting runtime keeps its numbers too.
    HRESULT number = info.scode;
    if (number == S_OK)
        number = info.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, info.wCode) : DISP_E_EXCEPTION;
    std::wstring text = description.str();
    if (text.empty()) text = describeHresult(number);
    return Error{static_cast<std::int32_t>(number), std::move(text)};
}

void compact(IDispatch& engine, const std::wstring& source, const std::wstring& destination) {
    Bstr name(L"CompactDatabase");
    LPOLESTR names[] = {name.get()};
    DISPID id = DISPID_UNKNOWN;
    check(engine.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));

    Bstr sourceText(source), destinationText(destination);
    // IDispatch takes its arguments last first.
    VARIANTARG arguments[2];
    automation::initVariant(arguments[0]);
    automation::initVariant(arguments[1]);
    arguments[0].vt = VT_BSTR;
    arguments[0].bstrVal = destinationText.get();
    arguments[1].vt = VT_BSTR;
    arguments[1].bstrVal = sourceText.get();
    DISPPARAMS parameters{arguments, nullptr, 2, 0};

    Variant result;
    EXCEPINFO exception{};
    UINT badArgument = 0;
    const HRESULT hr = engine.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, result.put(),
                                     &exception, &badArgument);
    if (hr == DISP_E_EXCEPTION) throw exceptionError(exception);
    check(hr);
}

// A crash of the engine ends the child at once with the exception's code,
// for the run to report. Left to the system, an unhandled exception may start
// a debugger first (Wine starts winedbg whatever the error mode says), which
// takes its time or waits for someone.
LONG WINAPI endOnCrash(EXCEPTION_POINTERS* pointers) {
    ::TerminateProcess(::GetCurrentProcess(), pointers->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// One compaction in an apartment of the process's own, the engine created
// and released inside it; the answer goes to the parent once the apartment
// is closed, so that an answer means the engine is done with everything.
int hostCompaction(const std::wstring& source, const std::wstring& destination, HANDLE answer) {
    Error outcome{};
    try {
        const ComApartment apartment;
        compact(*createEngineObject().get(), source, destination);
    } catch (const Error& error) {
        outcome = error;
    } catch (const std::exception&) {
        outcome = hresultError(E_OUTOFMEMORY);
    }
    const std::string bytes = encodeEngineAnswer(outcome);
    DWORD written = 0;
    const bool sent = ::WriteFile(answer, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                      written == bytes.size();
    return sent ? 0 : kExitError;
}

}  // namespace

std::wstring engineChildCommandLine(const std::wstring& program, const std::wstring& source,
                                    const std::wstring& destination) {
    // A file name holds no double quote, so the program's needs no escapes.
    return L"\"" + program + L"\" " + kEngineChildSwitch + L" " + quoted(source) + L" " + quoted(destination);
}

std::string encodeEngineAnswer(const Error& outcome) {
    const std::size_t room = (kEngineAnswerMaxBytes - kAnswerHeader) / sizeof(wchar_t);
    const std::wstring text = outcome.description.substr(0, room);
    std::string bytes(kAnswerMark, sizeof kAnswerMark);
    appendWord(bytes, static_cast<std::uint32_t>(outcome.number));
    appendWord(bytes, static_cast<std::uint32_t>(text.size()));
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

std::optional<Error> decodeEngineAnswer(const std::string& bytes) {
    if (bytes.size() < kAnswerHeader || bytes.compare(0, sizeof kAnswerMark, kAnswerMark, sizeof kAnswerMark) != 0)
        return std::nullopt;
    const std::uint32_t length = wordAt(bytes, sizeof kAnswerMark + sizeof(std::uint32_t));
    if (bytes.size() != kAnswerHeader + std::size_t{length} * sizeof(wchar_t)) return std::nullopt;
    std::wstring text(length, L'\0');
    std::memcpy(text.data(), bytes.data() + kAnswerHeader, text.size() * sizeof(wchar_t));
    return Error{static_cast<std::int32_t>(wordAt(bytes, sizeof kAnswerMark)), std::move(text)};
}

ComPtr<IDispatch> createEngineObject() {
    CLSID clsid{};
    check(::CLSIDFromProgID(L"Jro.JetEngine", &clsid));
    ComPtr<IDispatch> engine;
    check(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                             engine.putVoid()));
    return engine;
}

std::optional<int> runAsEngineChildIfAsked() {
    const wchar_t* line = ::GetCommandLineW();
    // An ordinary start does not load the shell to split its command line.
    if (lowerCase(line).find(kEngineChildSwitch + 1) == std::wstring::npos) return std::nullopt;
    const std::optional<std::vector<std::wstring>> words = splitCommandLine(line);
    const auto isSwitch = [](const std::wstring& word) {
        const std::wstring lower = lowerCase(word);
        return lower.size() > 1 && (lower[0] == L'/' || lower[0] == L'-') && lower.substr(1) == kEngineChildSwitch + 1;
    };
    if (!words || words->size() < 2 || std::none_of(words->begin() + 1, words->end(), isSwitch)) return std::nullopt;

    // From here on the process is the engine's host or refuses to be one; it
    // shows nothing either way, not even the system's boxes.
    showNoSystemBoxes();
    const HANDLE answer = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const bool asTheParentGivesIt = words->size() == 4 && (*words)[1] == kEngineChildSwitch && answer != nullptr &&
                                    answer != INVALID_HANDLE_VALUE && ::GetFileType(answer) == FILE_TYPE_PIPE;
    if (!asTheParentGivesIt) return kExitBadArgument;
    ::SetUnhandledExceptionFilter(endOnCrash);
    return hostCompaction((*words)[2], (*words)[3], answer);
}

}  // namespace car::win32
