// Sending one print job as its messages: the job number, the data in full
// pieces, the end-of-job marker when asked for and missing, and the job
// information. The messages go to a sink (the server's connection, or a
// test that looks at each of them); the data comes in through Write calls
// of any size, or from an input source read to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "params/param_map.h"

namespace mossvane::client {

// Where the encoded job messages go.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // False when the message could not be sent in full.
    virtual bool Send(const std::vector<std::uint8_t>& message) = 0;
};

// Called after each piece with the print data bytes sent so far.
using ProgressCallback = std::function<void(std::uint64_t bytesSent)>;

// Whether the information, as its parameter text, fits one END_JOB_CMD.
// Callers check before they send anything: a job whose information can't
// be sent can't be stored.
bool InformationFits(const ParamMap& information);

// The job as it is being sent. Data is gathered into full pieces of the
// largest payload, so the server gets as few messages as it can.
class JobWriter {
  public:
    explicit JobWriter(MessageSink& sink, ProgressCallback progress = {});

    // CREATE_JOB_CMD with the number; first, and once.
    bool Create(std::uint32_t jobNumber);
    // Print data, any length; full pieces go out at once.
    bool Write(const std::uint8_t* data, std::size_t size);
    // The rest of the data, the marker if addMarkerWhenMissing and the data
    // does not end with it, then END_JOB_CMD with the information. The copies
    // of the information this makes (it may hold the number) are wiped.
    // False, with nothing sent, when the information does not fit.
    bool End(const ParamMap& information, bool addMarkerWhenMissing);

    std::uint64_t DataBytes() const { return m_dataBytes; }
    bool MarkerAdded() const { return m_markerAdded; }
    // Whether the data sent so far ends with the end-of-job marker.
    bool EndsWithMarker() const;

  private:
    bool SendPiece(const std::uint8_t* data, std::size_t size);
    bool Flush();

    MessageSink& m_sink;
    ProgressCallback m_progress;
    std::vector<std::uint8_t> m_piece;
    std::vector<std::uint8_t> m_tail;  // The last bytes sent, up to the marker's size.
    std::uint64_t m_dataBytes = 0;
    std::uint64_t m_sentBytes = 0;
    bool m_markerAdded = false;
};

enum class ReadStatus { Data, End, Failed };

// Where the print data comes from: a file or standard input.
class InputSource {
  public:
    virtual ~InputSource() = default;
    // Data with 1 to size bytes, End when there are no more, or Failed.
    virtual ReadStatus Read(std::uint8_t* buffer, std::size_t size, std::size_t& bytesRead) = 0;
};

// Fills buffer from the source until it holds size bytes or the input ends;
// short reads are joined. Data when bytes were read, End when none were left.
ReadStatus ReadPiece(InputSource& source, std::uint8_t* buffer, std::size_t size,
                     std::size_t& bytesRead);

enum class StreamResult {
    Sent,                 // Every message went out.
    ReadFailed,           // The input could not be read; the job was not ended.
    SendFailed,           // The server stopped taking messages.
    InformationTooLarge,  // Nothing was sent: the information does not fit.
};

struct StreamReport {
    StreamResult result = StreamResult::Sent;
    std::uint64_t dataBytes = 0;  // Print data read from the input.
    bool markerAdded = false;     // The marker was added behind the data.
    bool endsWithMarker = false;  // The data as sent ends with the marker.
};

struct StreamOptions {
    bool addMarkerWhenMissing = true;
    ProgressCallback progress;
};

// Sends one job with the whole input as its data.
StreamReport StreamJob(InputSource& source, MessageSink& sink, std::uint32_t jobNumber,
                       const ParamMap& information, const StreamOptions& options = {});

// A job number that two jobs of this user are unlikely to share in one
// second: the server names job files by the second and the number modulo
// 10000, and does not store a job whose file name is taken. Jobs of one
// process differ there for 10000 calls in a row; processes started one after
// another differ there unless one of them numbered many jobs in that second.
std::uint32_t NewJobNumber();

}  // namespace mossvane::client
