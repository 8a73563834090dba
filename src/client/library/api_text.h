// The C API's boundary: checking and converting the caller's UTF-8 texts,
// copying answers into the caller's buffers, and the status texts.
#pragma once

#include <cstddef>
#include <string>

#include "client/client_io.h"
#include "mossvane/client.h"
#include "params/param_map.h"

namespace mossvane::api {

const char* StatusText(mossvane_status status);

// A request as the wire carries it: well-formed UTF-8 that fits one message
// and can't be taken for a job message. False when it is none of these.
bool RequestText(const char* request, std::u16string& text);

// The answer as UTF-8 with a null into answer; length gets its size in
// bytes. MOSSVANE_BUFFER_TOO_SMALL leaves answer empty.
mossvane_status CopyAnswer(std::u16string_view reply, char* answer, std::size_t size,
                           std::size_t* length);

// The entries as a parameter set; false when one can't be written as an
// entry line (empty key, "=" in the key, a line break, ill-formed UTF-8) or
// the whole text does not fit one message.
bool JobInformation(const mossvane_job_info* info, std::size_t count, ParamMap& information);

// The values may hold the number.
void WipeInformation(ParamMap& information);

mossvane_status StatusOfServerEnd(client::ServerEnd end, bool endsWithMarker);

}  // namespace mossvane::api
