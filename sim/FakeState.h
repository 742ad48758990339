#pragma once

namespace google::protobuf {
class Message;
}

namespace sim {

// A set request: every present field of `update` is written into `state`; repeated entries
// (channels, bands) are matched by their identifier field, new ones appended.
void mergeById(google::protobuf::Message& state, const google::protobuf::Message& update);

// A get request: every present field of `request` takes the state's value (its default when
// the state lacks it); repeated entries are matched by identifier, unknown ones left as asked.
void fillFromState(google::protobuf::Message& request, const google::protobuf::Message& state);

}  // namespace sim
