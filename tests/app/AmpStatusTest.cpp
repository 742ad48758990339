#include <gtest/gtest.h>

#include "AmpStatus.h"

namespace {

struct StatusCase {
    QByteArray bytes;
    QVector<QVector<int>> lines;
    int rejected;
};

void PrintTo(const StatusCase& c, std::ostream* out) {
    *out << '"' << c.bytes.toHex(' ').toStdString() << '"';
}

class AmpStatusTable : public ::testing::TestWithParam<StatusCase> {};

TEST_P(AmpStatusTable, AcceptsOnlyWordSpaceThreeValues) {
    const StatusCase& c = GetParam();
    const AmpStatusDatagram datagram = parseAmpStatus(c.bytes);
    QVector<QVector<int>> lines;
    for (const AmpStatus& status : datagram.lines) {
        lines.append({status.status1, status.status2, status.status3});
    }
    EXPECT_EQ(lines, c.lines) << c.bytes.toStdString();
    EXPECT_EQ(datagram.rejected, c.rejected) << c.bytes.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, AmpStatusTable,
    ::testing::Values(StatusCase{"x 1,0,0", {{1, 0, 0}}, 0},
                      StatusCase{"amp 0,0,256", {{0, 0, 256}}, 0},
                      StatusCase{"amp 0,1,0\r", {{0, 1, 0}}, 0},
                      StatusCase{"amp 1,0,0\ramp 0,0,0", {{1, 0, 0}, {0, 0, 0}}, 0},
                      StatusCase{"amp 1,a,-2", {{1, 0, -2}}, 0}, StatusCase{"x 1,0", {}, 1},
                      StatusCase{"x 1,0,0,0", {}, 1}, StatusCase{"amp  1,0,0", {}, 1},
                      StatusCase{"amp 1,0,0 ", {}, 1}, StatusCase{"amp1,0,0", {}, 1},
                      StatusCase{"amp 1,0,0\namp 0,0,0", {}, 1},
                      StatusCase{"amp 1,0\ramp 0,1,1\rbad", {{0, 1, 1}}, 2}, StatusCase{"", {}, 0},
                      StatusCase{"\r\r", {}, 0}));

TEST(AmpStatus, NamesTheFirstRejectedLine) {
    const AmpStatusDatagram datagram = parseAmpStatus("amp 1,0,0\ramp  1,0,0\rx 1");
    EXPECT_EQ(datagram.rejected, 2);
    EXPECT_EQ(datagram.first_rejected, QStringLiteral("amp  1,0,0"));
}

}  // namespace
