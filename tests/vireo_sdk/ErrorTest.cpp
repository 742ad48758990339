#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/aud_error.h"

namespace {

TEST(ErrorTable, HoldsEveryCodeInOrderAndEndsWithNullSymbol) {
    for (int code = 0; code < AUD_NUM_ERRORS; ++code) {
        EXPECT_EQ(aud_error_table[code].value, code);
        ASSERT_NE(aud_error_table[code].symbol, nullptr) << code;
        ASSERT_NE(aud_error_table[code].text, nullptr) << code;
    }
    EXPECT_EQ(aud_error_table[AUD_NUM_ERRORS].value, 49);
    EXPECT_EQ(aud_error_table[AUD_NUM_ERRORS].symbol, nullptr);
    EXPECT_STREQ(aud_error_get_name(16), "ACCES");
    EXPECT_STREQ(aud_error_get_message(12), "DNS-SD system failed");
    EXPECT_STREQ(aud_error_get_message(44), "wrong protocol type for socket");
    EXPECT_EQ(aud_error_get_name(49), nullptr);
    EXPECT_EQ(aud_error_get_message(-1), nullptr);
}

TEST(ErrorMessage, PrintsEachKindOfCode) {
    struct Case {
        aud_error_t code;
        const char* text;
    };
    for (const Case& c :
         {Case{0, "success"}, Case{2, "System error: : (0x0000)"},
          Case{11, "NOTFOUND: (0x000b=object or item not found)"},
          Case{48, "NOTRUNNING: (0x0030=not running)"}, Case{49, "UNKNOWN: (0x0031=unknown error)"},
          Case{-5, "UNKNOWN: (0xfffffffb=unknown error)"}}) {
        char buffer[AUD_ERROR_MESSAGE_SIZE];
        EXPECT_STREQ(aud_error_message(c.code, buffer), c.text) << c.code;
        EXPECT_STREQ(aud_error_message(c.code, nullptr), c.text) << c.code;
    }
}

TEST(ErrorFromSystem, MapsWindowsNumbers) {
    struct Case {
        uint32_t number;
        aud_error_t code;
    };
    for (const Case& c : {Case{0, 0}, Case{10035, 10}, Case{10054, 24}, Case{10093, 41},
                          Case{0x80070057, 3}, Case{0x800706D9, 48}, Case{0xE000020B, 11},
                          Case{99999, 2}, Case{0x10000, 2}, Case{0x80070000, 2}, Case{87, 3},
                          Case{5010, 20}, Case{1060, 11}, Case{31, 34}, Case{11002, 47}}) {
        EXPECT_EQ(aud_error_from_system(c.number), c.code) << std::hex << c.number;
    }
}

TEST(ErrorFromErrno, MapsEveryListedValue) {
    struct Case {
        int number;
        aud_error_t code;
    };
    for (const Case& c : {Case{0, 0},
                          Case{EINVAL, 3},
                          Case{ENOMEM, 6},
                          Case{EINTR, 7},
                          Case{EOPNOTSUPP, 9},
                          Case{EAGAIN, 10},
                          Case{EWOULDBLOCK, 10},
                          Case{ETIMEDOUT, 10},
                          Case{ENOENT, 11},
                          Case{EACCES, 16},
                          Case{EPERM, 16},
                          Case{EADDRINUSE, 17},
                          Case{EADDRNOTAVAIL, 18},
                          Case{EAFNOSUPPORT, 19},
                          Case{EALREADY, 20},
                          Case{ECONNABORTED, 22},
                          Case{ECONNRESET, 24},
                          Case{EDESTADDRREQ, 25},
                          Case{EFAULT, 26},
                          Case{EHOSTUNREACH, 27},
                          Case{EINPROGRESS, 28},
                          Case{EISCONN, 29},
                          Case{EMFILE, 30},
                          Case{ENFILE, 30},
                          Case{EMSGSIZE, 31},
                          Case{ENETDOWN, 32},
                          Case{ENETRESET, 33},
                          Case{ENETUNREACH, 34},
                          Case{ENOBUFS, 35},
                          Case{ENODEV, 37},
                          Case{ENOPROTOOPT, 38},
                          Case{ENOTCONN, 40},
                          Case{ENOTSOCK, 42},
                          Case{EBADF, 42},
                          Case{EPROTONOSUPPORT, 43},
                          Case{EPROTOTYPE, 44},
                          Case{EPIPE, 45},
                          Case{ESHUTDOWN, 45},
                          Case{ESOCKTNOSUPPORT, 46},
                          Case{EXDEV, 2},
                          Case{ENOSPC, 2}}) {
        EXPECT_EQ(aud_error_from_errno(c.number, 0), c.code) << std::strerror(c.number);
        EXPECT_EQ(aud_error_from_errno(c.number, 1), c.code) << std::strerror(c.number);
    }
}

TEST(ErrorFromErrno, RefusalIsResetOnUdpOnly) {
    EXPECT_EQ(aud_error_from_errno(ECONNREFUSED, 1), AUD_ERR_CONNRESET);
    EXPECT_EQ(aud_error_from_errno(ECONNREFUSED, 0), AUD_ERR_CONNREFUSED);
}

TEST(SystemErrorText, EmptyForZeroAndTheSystemTextOtherwise) {
    EXPECT_STREQ(aud_system_error_text(0), "");
    EXPECT_EQ(std::string(aud_system_error_text(ENOENT)), std::strerror(ENOENT));
}

}  // namespace
