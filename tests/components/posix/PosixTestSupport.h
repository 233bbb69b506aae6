// What the tests of the real POSIX components share: a scratch folder, files of a few
// kinds, a way to catch a raised error, and a terminal made of strings.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "components/CurrentError.h"
#include "support/WholeRun.h"

namespace PosixTest {

namespace fs = std::filesystem;

using WholeRun::ReadFile;
using WholeRun::WriteFile;

inline mode_t ModeOf(const fs::path& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

// The error the action raised, or nothing when it raised none.
inline std::optional<Err::Error> Raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const Err::Error& error) {
        return error;
    }
    return std::nullopt;
}

// A folder of the test's own, removed with all it holds afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        char pattern[] = "/tmp/tolvane-posix-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

    // The names in the folder, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path path_;
};

// Sets or removes an environment variable for the life of the object.
class EnvironmentVariable {
  public:
    EnvironmentVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value == nullptr) {
            ::unsetenv(name);
        } else {
            ::setenv(name, value, 1);
        }
    }
    ~EnvironmentVariable() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// Standard input and output as strings: std::cin reads `input`, std::cout is captured.
class Terminal {
  public:
    explicit Terminal(const std::string& input) : input_(input) {
        oldIn_ = std::cin.rdbuf(input_.rdbuf());
        oldOut_ = std::cout.rdbuf(output_.rdbuf());
        std::cin.clear();
    }
    ~Terminal() {
        std::cin.rdbuf(oldIn_);
        std::cout.rdbuf(oldOut_);
        std::cin.clear();
        std::cout.clear();
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    std::string Output() const { return output_.str(); }
    // What is left unread of the input.
    std::string Unread() {
        std::string rest;
        std::getline(std::cin, rest, '\0');
        return rest;
    }

  private:
    std::istringstream input_;
    std::ostringstream output_;
    std::streambuf* oldIn_;
    std::streambuf* oldOut_;
};

}  // namespace PosixTest
