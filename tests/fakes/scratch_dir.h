// A fresh temporary directory for one test, removed with everything in it afterwards.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>
#include <algorithm>

namespace kerfo::test {

class ScratchDir {
public:
    ScratchDir() {
#ifdef _WIN32
        // No mkdtemp: try fresh names until one can be created.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            auto candidate = std::filesystem::temp_directory_path() / ("kerfo-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) m_path = candidate;
        }
        if (m_path.empty()) throw std::runtime_error("no temporary directory");
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "kerfo-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
#endif
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }

    // Writes `bytes` to `name` (mode 0644) and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const {
        const auto file = m_path / name;
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        std::filesystem::permissions(file, std::filesystem::perms(0644));
        return file.string();
    }

    // The names in the directory, sorted, to check that nothing was left behind.
    std::string listing() const {
        std::string names;
        std::vector<std::string> all;
        for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
            all.push_back(entry.path().filename().string());
        }
        std::sort(all.begin(), all.end());
        for (const auto& name : all) names += name + " ";
        return names;
    }

private:
    std::filesystem::path m_path;
};

}  // namespace kerfo::test
