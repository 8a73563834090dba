// Child processes on Windows: CreateProcessW with standard output redirected
// into a file, and a DBWIN listener that keeps the child's debugger output.
// The child starts suspended so the listener is there before its first text.
#include "child_process.h"

#include <fstream>
#include <sstream>

#include "platform/utf8.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/windows_include.h"
#include "support/debug_capture.h"

namespace mossvane::testing {

namespace {

using platform::win32::UniqueHandle;

std::wstring ToWide(const std::string& text) {
    std::u16string wide = platform::Utf8ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

UniqueHandle OpenInheritableOutput(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return UniqueHandle(CreateFileW(ToWide(path).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

// A prefix has room for one DBWIN listener: it serves every child, and it
// starts before the first child so no text is missed.
const test::DebugCapture& SharedCapture() {
    static test::DebugCapture capture(test::DebugCapture::kAnyProcess);
    return capture;
}

class WindowsChild : public ChildProcess {
  public:
    WindowsChild(PROCESS_INFORMATION info, std::string outputPath)
        : m_process(info.hProcess),
          m_thread(info.hThread),
          m_id(info.dwProcessId),
          m_outputPath(std::move(outputPath)) {}

    ~WindowsChild() override { Kill(); }

    void Resume() { ResumeThread(m_thread.Get()); }

    bool WaitForExit(std::chrono::milliseconds timeout, int& exitCode) override {
        if (WaitForSingleObject(m_process.Get(), static_cast<DWORD>(timeout.count())) !=
            WAIT_OBJECT_0) {
            return false;
        }
        DWORD code = 0;
        GetExitCodeProcess(m_process.Get(), &code);
        exitCode = static_cast<int>(code);
        return true;
    }

    void Kill() override {
        if (WaitForSingleObject(m_process.Get(), 0) == WAIT_OBJECT_0) return;
        TerminateProcess(m_process.Get(), 1);
        WaitForSingleObject(m_process.Get(), 10000);
    }

    std::uint32_t Id() const override { return m_id; }
    std::string StandardOutput() const override { return ReadWholeFile(m_outputPath); }

    std::string DebugOutput() const override {
        std::string all;
        for (const std::string& text : SharedCapture().TextsOf(m_id)) {
            all += text;
            if (all.empty() || all.back() != '\n') all += '\n';
        }
        return all;
    }

  private:
    UniqueHandle m_process;
    UniqueHandle m_thread;
    std::uint32_t m_id;
    std::string m_outputPath;
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  const std::string& outputFolder) {
    static int sequence = 0;
    std::string outputPath = outputFolder + "\\child" + std::to_string(++sequence) + ".out";
    SharedCapture();
    UniqueHandle output = OpenInheritableOutput(outputPath);
    if (!output.IsValid()) return nullptr;

    std::wstring commandLine = L"\"" + ToWide(program) + L"\"";
    for (const std::string& argument : arguments) commandLine += L" " + ToWide(argument);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &info)) {
        return nullptr;
    }
    auto child = std::make_unique<WindowsChild>(info, outputPath);
    child->Resume();
    return child;
}

std::string ChildProcess::ProgramFolder() {
    wchar_t buffer[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::u16string path(reinterpret_cast<const char16_t*>(buffer), length);
    std::string narrow = platform::Utf16ToUtf8(path);
    return narrow.substr(0, narrow.find_last_of("\\/") + 1);
}

std::string ChildProcess::ExecutableSuffix() {
    return ".exe";
}

bool ChildProcess::IsPosix() {
    return false;
}

}  // namespace mossvane::testing
