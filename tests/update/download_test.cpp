// The downloader's reading of an answer's headers: when the stored file must have the
// announced length.
#include <gtest/gtest.h>
#include "update/download.h"

TEST(AnnouncedLengthTest, OnlyAPlainLengthCounts) {
    struct Case {
        const char* headers;
        int announced;
        uint64_t length;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1239\r\n\r\n", 1, 1239},
        {"HTTP/1.1 200 OK\ncontent-length:\t0 \n", 1, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-Encoding: identity\r\n", 1, 12},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12", 1, 12}, // no line end after the last line
        {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Lenght: 12\r\n", 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-Encoding: gzip\r\n", 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-Encoding: identitx\r\n", 0, 0},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 12\r\n", 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-Length: 13\r\n", 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 12 bytes\r\n", 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: \r\n", 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n", 0, 0},
        {"HTTP/1.1 200 OK\r\nX-Content-Length: 12\r\n", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        uint64_t length = 77;
        EXPECT_EQ(AnnouncedLength(c.headers, &length), c.announced);
        EXPECT_EQ(length, c.announced ? c.length : 77u);
    }
}
