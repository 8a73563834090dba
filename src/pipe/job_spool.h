// The job commands of one connection.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mossvane {

inline constexpr std::uint8_t CREATE_JOB_CMD = 1;
inline constexpr std::uint8_t WRITE_JOB_CMD = 2;
inline constexpr std::uint8_t END_JOB_CMD = 3;

// Receives the complete job messages of one connection. Each handler returns
// whether the connection goes on.
class JobSpool {
  public:
    bool Dispatch(std::uint8_t command, const std::uint8_t* payload, std::size_t size);

  private:
    bool OnCreateJob(const std::uint8_t* payload, std::size_t size);
    bool OnWriteJob(const std::uint8_t* payload, std::size_t size);
    bool OnEndJob(const std::uint8_t* payload, std::size_t size);
};

}  // namespace mossvane
