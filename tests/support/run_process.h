// Runs a built program as its users do, without a shell between: the arguments reach
// it exactly as given (UTF-8; on Windows as wide text through CreateProcessW).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace korvan::test {

struct ProcessResult {
    int Status = -1;  // the exit status; -1 when the program could not run or was killed
    std::string Out;
    std::string Err;
};

// Standard output and error go to files "stdout" and "stderr" in `scratch`, which are
// read back. `environment` ("NAME=value") is added to the program's environment on POSIX;
// a Windows program takes its locale from the user's settings, not from variables.
ProcessResult RunProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& scratch,
                         const std::vector<std::string>& environment = {});

}  // namespace korvan::test
