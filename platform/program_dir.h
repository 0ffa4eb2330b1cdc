#pragma once

#include <filesystem>

namespace zentick::platform {

// The folder that holds the executable: the settings file and the alarm
// tune live beside the program, wherever it was copied.
class ProgramDir {
public:
    virtual ~ProgramDir() = default;
    virtual std::filesystem::path path() const = 0;
};

}  // namespace zentick::platform
