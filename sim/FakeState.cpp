#include "FakeState.h"

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include <vector>

namespace sim {

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;

namespace {

// The identifier of a repeated entry is its field number 1 (channel_id, band_id, id).
const FieldDescriptor* idField(const Message& message) {
    return message.GetDescriptor()->FindFieldByNumber(1);
}

uint32_t idOf(const Message& message) {
    return message.GetReflection()->GetUInt32(message, idField(message));
}

Message* findById(Message& parent, const FieldDescriptor* field, uint32_t id) {
    const Reflection* reflection = parent.GetReflection();
    for (int i = 0; i < reflection->FieldSize(parent, field); ++i) {
        Message* entry = reflection->MutableRepeatedMessage(&parent, field, i);
        if (idOf(*entry) == id) {
            return entry;
        }
    }
    return nullptr;
}

const Message* findById(const Message& parent, const FieldDescriptor* field, uint32_t id) {
    const Reflection* reflection = parent.GetReflection();
    for (int i = 0; i < reflection->FieldSize(parent, field); ++i) {
        const Message& entry = reflection->GetRepeatedMessage(parent, field, i);
        if (idOf(entry) == id) {
            return &entry;
        }
    }
    return nullptr;
}

void copyScalar(Message& to, const Message& from, const FieldDescriptor* field) {
    const Reflection* in = from.GetReflection();
    const Reflection* out = to.GetReflection();
    switch (field->cpp_type()) {
        case FieldDescriptor::CPPTYPE_INT32:
            out->SetInt32(&to, field, in->GetInt32(from, field));
            break;
        case FieldDescriptor::CPPTYPE_INT64:
            out->SetInt64(&to, field, in->GetInt64(from, field));
            break;
        case FieldDescriptor::CPPTYPE_UINT32:
            out->SetUInt32(&to, field, in->GetUInt32(from, field));
            break;
        case FieldDescriptor::CPPTYPE_UINT64:
            out->SetUInt64(&to, field, in->GetUInt64(from, field));
            break;
        case FieldDescriptor::CPPTYPE_DOUBLE:
            out->SetDouble(&to, field, in->GetDouble(from, field));
            break;
        case FieldDescriptor::CPPTYPE_FLOAT:
            out->SetFloat(&to, field, in->GetFloat(from, field));
            break;
        case FieldDescriptor::CPPTYPE_BOOL:
            out->SetBool(&to, field, in->GetBool(from, field));
            break;
        case FieldDescriptor::CPPTYPE_ENUM:
            out->SetEnumValue(&to, field, in->GetEnumValue(from, field));
            break;
        case FieldDescriptor::CPPTYPE_STRING:
            out->SetString(&to, field, in->GetString(from, field));
            break;
        case FieldDescriptor::CPPTYPE_MESSAGE:
            break;
    }
}

std::vector<const FieldDescriptor*> presentFields(const Message& message) {
    std::vector<const FieldDescriptor*> fields;
    message.GetReflection()->ListFields(message, &fields);
    return fields;
}

}  // namespace

void mergeById(Message& state, const Message& update) {
    const Reflection* reflection = state.GetReflection();
    for (const FieldDescriptor* field : presentFields(update)) {
        if (field->cpp_type() != FieldDescriptor::CPPTYPE_MESSAGE) {
            copyScalar(state, update, field);
        } else if (!field->is_repeated()) {
            mergeById(*reflection->MutableMessage(&state, field),
                      update.GetReflection()->GetMessage(update, field));
        } else {
            for (int i = 0; i < update.GetReflection()->FieldSize(update, field); ++i) {
                const Message& entry = update.GetReflection()->GetRepeatedMessage(update, field, i);
                Message* target = findById(state, field, idOf(entry));
                if (!target) {
                    target = reflection->AddMessage(&state, field);
                }
                mergeById(*target, entry);
            }
        }
    }
}

void fillFromState(Message& request, const Message& state) {
    const Reflection* reflection = request.GetReflection();
    for (const FieldDescriptor* field : presentFields(request)) {
        if (field->cpp_type() != FieldDescriptor::CPPTYPE_MESSAGE) {
            copyScalar(request, state, field);
        } else if (!field->is_repeated()) {
            fillFromState(*reflection->MutableMessage(&request, field),
                          state.GetReflection()->GetMessage(state, field));
        } else {
            for (int i = 0; i < reflection->FieldSize(request, field); ++i) {
                Message* entry = reflection->MutableRepeatedMessage(&request, field, i);
                if (const Message* source = findById(state, field, idOf(*entry))) {
                    fillFromState(*entry, *source);
                }
            }
        }
    }
}

}  // namespace sim
