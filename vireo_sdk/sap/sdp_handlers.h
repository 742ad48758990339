#pragma once

#include <string>
#include <vector>

#include "sap/sdp_description.h"

// Handlers of SDP lines: value is the text after "x=". Results: 0, 4 malformed, 8 too long,
// 9 not supported, 20 seen already.
aud_error_t sdp_origin_handler(const std::string& value, sdp_description* sdp);
aud_error_t sdp_session_name_handler(const std::string& value, sdp_description* sdp);
aud_error_t sdp_session_info_handler(const std::string& value, sdp_description* sdp);
aud_error_t sdp_media_title_handler(const std::string& value, sdp_description* sdp);
aud_error_t sdp_connection_handler(const std::string& value, sdp_description* sdp);
aud_error_t sdp_time_handler(const std::string& value, sdp_description* sdp);
aud_error_t sdp_media_handler(const std::string& value, sdp_description* sdp);
aud_error_t sdp_attribute_handler(const std::string& value, sdp_description* sdp);

// Fields of value split at runs of blanks.
std::vector<std::string> sdp_fields(const std::string& value);
// A whole decimal text of at most max.
bool sdp_number(const std::string& text, uint64_t max, uint64_t* value);
// Parts of text split at every separator.
std::vector<std::string> sdp_split(const std::string& text, char separator);
