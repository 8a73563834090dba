#include "job_sender.h"

#include "client/client_io.h"

namespace mossvane::send {

namespace {

class StreamSource : public client::InputSource {
  public:
    explicit StreamSource(std::istream& data) : m_data(data) {}

    client::ReadStatus Read(std::uint8_t* buffer, std::size_t size,
                            std::size_t& bytesRead) override {
        m_data.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
        bytesRead = static_cast<std::size_t>(m_data.gcount());
        if (bytesRead > 0) return client::ReadStatus::Data;
        return m_data.bad() ? client::ReadStatus::Failed : client::ReadStatus::End;
    }

  private:
    std::istream& m_data;
};

}  // namespace

JobResult SendJob(platform::PipeConnection& connection, const SendOptions& options,
                  std::istream& data, const client::ProgressCallback& progress) {
    if (!client::InformationFits(options.jobInformation)) return JobResult::InformationTooLarge;
    StreamSource source(data);
    client::ConnectionSink sink(connection);
    const std::uint32_t number = options.jobNumber.value_or(client::NewJobNumber());
    const client::StreamReport report = client::StreamJob(
        source, sink, number, options.jobInformation, {options.addEndOfJobMarker, progress});
    if (report.result == client::StreamResult::ReadFailed) return JobResult::ReadFailed;
    if (report.result == client::StreamResult::SendFailed) return JobResult::ServerEndedEarly;
    const client::ServerEnd end = client::WaitForServerEnd(connection);
    // A job without the marker is kept incomplete whatever the server says.
    if (!report.endsWithMarker && end != client::ServerEnd::EndedEarly) {
        return JobResult::SentWithoutMarker;
    }
    switch (end) {
        case client::ServerEnd::Closed:
            return JobResult::Sent;
        case client::ServerEnd::NotStored:
            return JobResult::NotStored;
        case client::ServerEnd::EndedEarly:
            return JobResult::ServerEndedEarly;
        case client::ServerEnd::TimedOut:
        case client::ServerEnd::Failed:
            break;
    }
    return JobResult::OutcomeUnknown;
}

}  // namespace mossvane::send
