#include "tests/support/run_process.h"

#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32_text.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
extern char** environ;
#endif

namespace korvan::test {

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

#ifdef _WIN32

// One argument as CommandLineToArgvW splits it back: quotes around it, a quote inside
// escaped, backslashes doubled only where a quote follows them.
std::wstring Quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

HANDLE Inheritable(const fs::path& p) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(p.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

int Spawn(const fs::path& program, const std::vector<std::string>& args, const fs::path& out,
          const fs::path& err, const std::vector<std::string>&) {
    std::wstring line = Quoted(program.wstring());
    for (const std::string& a : args) line += L" " + Quoted(WideFromUtf8(a));
    HANDLE o = Inheritable(out), e = Inheritable(err);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = INVALID_HANDLE_VALUE;
    si.hStdOutput = o;
    si.hStdError = e;
    PROCESS_INFORMATION pi{};
    int status = -1;
    if (CreateProcessW(program.wstring().c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(pi.hProcess, &code)) status = static_cast<int>(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(o);
    CloseHandle(e);
    return status;
}

#else

int Spawn(const fs::path& program, const std::vector<std::string>& args, const fs::path& out,
          const fs::path& err, const std::vector<std::string>& environment) {
    std::vector<std::string> argStore = {program.string()};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The given variables replace any of the same name.
    std::vector<std::string> envStore = environment;
    for (char** e = environ; *e; ++e) {
        const char* eq = std::strchr(*e, '=');
        const size_t nameLength = eq ? static_cast<size_t>(eq - *e) + 1 : std::strlen(*e);
        bool replaced = false;
        for (const std::string& v : environment)
            replaced = replaced || v.compare(0, nameLength, *e, nameLength) == 0;
        if (!replaced) envStore.push_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& v : envStore) envp.push_back(v.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

#endif

}  // namespace

ProcessResult RunProcess(const fs::path& program, const std::vector<std::string>& args,
                         const fs::path& scratch, const std::vector<std::string>& environment) {
    const fs::path out = scratch / "stdout", err = scratch / "stderr";
    ProcessResult r;
    r.Status = Spawn(program, args, out, err, environment);
    r.Out = Slurp(out);
    r.Err = Slurp(err);
    return r;
}

}  // namespace korvan::test
