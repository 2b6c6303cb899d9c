// Reading a few header fields of a baseline JPEG file for the encoder tests:
// the first entry of quantisation table 0 (which reveals the quality the
// encoder was given) and the components' sampling factors.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <vector>

namespace miniskop::testing {

struct JpegHeader {
    int quant0First = -1;       // first entry of quantisation table 0
    std::vector<int> sampling;  // per component: horizontal * 16 + vertical
    int width = 0, height = 0;
};

inline JpegHeader readJpegHeader(const QString& path) {
    QFile file(path);
    JpegHeader h;
    if (!file.open(QIODevice::ReadOnly)) return h;
    const QByteArray b = file.readAll();
    const auto at = [&](qsizetype i) { return i < b.size() ? static_cast<uchar>(b[i]) : 0; };
    if (at(0) != 0xFF || at(1) != 0xD8) return h;
    qsizetype i = 2;
    while (i + 4 <= b.size() && at(i) == 0xFF) {
        const int marker = at(i + 1);
        const qsizetype len = at(i + 2) * 256 + at(i + 3);
        const qsizetype body = i + 4;
        if (marker == 0xDB) {
            // Tables follow each other: precision/id byte, then 64 (or 128) bytes.
            for (qsizetype t = body; t < i + 2 + len;) {
                const int pq = at(t) >> 4, tq = at(t) & 15;
                if (tq == 0 && h.quant0First < 0)
                    h.quant0First = pq ? at(t + 1) * 256 + at(t + 2) : at(t + 1);
                t += 1 + (pq ? 128 : 64);
            }
        } else if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            h.height = at(body + 1) * 256 + at(body + 2);
            h.width = at(body + 3) * 256 + at(body + 4);
            const int n = at(body + 5);
            for (int c = 0; c < n; ++c) h.sampling.push_back(at(body + 6 + 3 * c + 1));
        } else if (marker == 0xDA) {
            break;  // entropy-coded data follows
        }
        i += 2 + len;
    }
    return h;
}

}  // namespace miniskop::testing
