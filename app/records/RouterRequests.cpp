#include "RouterRequests.h"

#include <cstring>

void RouterRequests::take(const char* description) {
    std::strncpy(m_description, description, kDescriptionSize - 1);
    m_description[kDescriptionSize - 1] = '\0';
}

void RouterRequests::release() {
    m_id = nullptr;
    m_description[0] = '\0';
}
