// libjpeg decoding with DCT-domain reduction, EXIF orientation and a longjmp
// error manager. The functions that call libjpeg keep only plain C data in the
// frame that holds the jump buffer, so a longjmp skips no C++ destructor.
#include "JpegRows.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "ColourProfile.h"
#include "DecodeLimit.h"
#include "ExifOrientation.h"
#include "PictureFile.h"

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN,
              "JCS_EXT_BGRX matches QImage::Format_RGB32 only on little-endian machines");

namespace miniskop {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool endOfDataSeen;  // the file ended before the picture did
};

extern "C" void onError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    longjmp(err->jump, 1);
}

extern "C" void onMessage(j_common_ptr cinfo, int level) {
    // Only warnings (level -1) matter; trace messages are dropped.
    if (level >= 0) return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    ++cinfo->err->num_warnings;
    // The file ends, or a marker comes, before the picture data does.
    if (cinfo->err->msg_code == JWRN_JPEG_EOF || cinfo->err->msg_code == JWRN_HIT_MARKER)
        err->endOfDataSeen = true;
}

void installErrorManager(jpeg_decompress_struct* cinfo, ErrorManager* err) {
    cinfo->err = jpeg_std_error(&err->pub);
    err->pub.error_exit = onError;
    err->pub.emit_message = onMessage;
    err->message[0] = '\0';
    err->endOfDataSeen = false;
}

// libjpeg reads through stdio, by the name that leads to the open file.
Expected<FILE*> openFile(const PictureFile& picture) {
    const Expected<QString> name = picture.nameForLibraries();
    if (!name) return unexpected(name.error());
    FILE* file = std::fopen(QFile::encodeName(*name).constData(), "rb");
    if (file == nullptr) return fail(QStringLiteral("cannot open the file"));
    return file;
}

// The layout of the header just read. Called after jpeg_read_header, which
// stops at the first scan: a first scan without every component, or a
// progressive file, means several scans.
void describeLayout(const jpeg_decompress_struct* cinfo, JpegLayout* layout) {
    layout->stored = QSize(int(cinfo->image_width), int(cinfo->image_height));
    layout->sampling.clear();
    for (int c = 0; c < cinfo->num_components; ++c)
        layout->sampling.emplace_back(cinfo->comp_info[c].h_samp_factor,
                                      cinfo->comp_info[c].v_samp_factor);
    layout->multiScan = cinfo->progressive_mode || cinfo->comps_in_scan < cinfo->num_components;
}

// Header and orientation. Plain C data only in this frame (see file comment).
bool readInfo(FILE* file, ErrorManager* err, jpeg_decompress_struct* cinfo, JpegHeader* info) {
    installErrorManager(cinfo, err);
    if (setjmp(err->jump)) return false;
    jpeg_create_decompress(cinfo);
    cinfo->mem->max_memory_to_use = long(decodeLimit());
    jpeg_stdio_src(cinfo, file);
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC profile segments
    jpeg_read_header(cinfo, TRUE);
    info->stored = QSize(int(cinfo->image_width), int(cinfo->image_height));
    describeLayout(cinfo, &info->layout);
    if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) {
        info->colours =
            cinfo->saw_Adobe_marker ? JpegHeader::Colours::CmykInverted : JpegHeader::Colours::Cmyk;
    } else if (cinfo->jpeg_color_space == JCS_GRAYSCALE) {
        info->colours = JpegHeader::Colours::Grey;
    }
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(cinfo, &icc, &iccLength)) {
        info->icc = QByteArray(reinterpret_cast<const char*>(icc), qsizetype(iccLength));
        std::free(icc);
    }
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
        if (m->marker != JPEG_APP0 + 1) continue;
        const int o = exifOrientation(m->data, m->data_length);
        if (o != 1) {
            info->orientation = o;
            break;
        }
    }
    return true;
}

// Position in the zig-zag (spectral) order of the coefficient in row r,
// column c of a block.
int zigzagIndex(int r, int c) {
    const int d = r + c;
    const int before = d <= 7 ? d * (d + 1) / 2 : 64 - (15 - d) * (16 - d) / 2;
    const int first = d <= 7 ? 0 : d - 7;  // smallest row (and column) on the diagonal
    return before + ((d % 2 != 0) ? r - first : c - first);
}

// The last spectral position a reduced inverse DCT of size n x n reads: the
// top-left n x n coefficients of a block, and no others.
int lastCoefficientUsed(int n) {
    if (n >= 8) return 63;
    int last = 0;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) last = std::max(last, zigzagIndex(r, c));
    return last;
}

// In a progressive file, read up to the start of a new scan (its SOS marker):
// are all coefficients that the reduced output reads complete, and does the
// scan now beginning leave them alone? Then the rest of the file adds nothing
// to the output.
bool usedCoefficientsComplete(const jpeg_decompress_struct* cinfo) {
    for (int c = 0; c < cinfo->num_components; ++c) {
        const int last = lastCoefficientUsed(cinfo->comp_info[c].DCT_scaled_size);
        for (int k = 0; k <= last; ++k) {
            if (cinfo->coef_bits[c][k] != 0) return false;  // -1: none yet; > 0: unrefined
        }
    }
    for (int i = 0; i < cinfo->comps_in_scan; ++i) {
        const int last = lastCoefficientUsed(cinfo->cur_comp_info[i]->DCT_scaled_size);
        if (cinfo->Ss <= last) return false;  // refines (or first sends) a used one
    }
    return true;
}

unsigned char mul255(unsigned a, unsigned b) { return (unsigned char)((a * b + 127) / 255); }

struct DecodeJob {
    JpegRowSink* sink;
    QSize atLeast;
    const SrgbConversion* cmykProfile;
    JpegLayout* layout;  // filled from the header
    bool refusedBySink;
    qint64 needed;   // bytes the decoding would take
    qint64 allowed;  // set when that is more than the limit allows
};

// The decoding proper. Plain C data only in this frame (see file comment).
bool runDecode(FILE* file, ErrorManager* err, jpeg_decompress_struct* cinfo, DecodeJob* job) {
    installErrorManager(cinfo, err);
    if (setjmp(err->jump)) return false;
    jpeg_create_decompress(cinfo);
    // libjpeg keeps below this; what it needs is checked against it below,
    // so it never runs out and asks for a backing store it does not have.
    cinfo->mem->max_memory_to_use = long(decodeLimit());
    jpeg_stdio_src(cinfo, file);
    jpeg_read_header(cinfo, TRUE);
    describeLayout(cinfo, job->layout);
    const int eighths =
        jpegScaleFor(QSize(int(cinfo->image_width), int(cinfo->image_height)), job->atLeast);

    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    cinfo->scale_num = JDIMENSION(eighths);
    cinfo->scale_denom = 8;
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_fancy_upsampling = eighths < 8 ? FALSE : TRUE;
    // Reduced, every block becomes n x n pixels made from its top-left n x n
    // coefficients alone (at 1/8 the DC coefficient). A progressive file
    // sends the low frequencies first, so reading stops once those that are
    // used are complete: the later scans, most of the file, are never
    // decoded, and the pixels are those of a full decode at that scale
    // (without block smoothing, which only guesses coefficients still
    // missing).
    const bool partial = eighths < 8 && cinfo->progressive_mode;
    if (partial) {
        cinfo->buffered_image = TRUE;
        cinfo->do_block_smoothing = FALSE;
    }
    jpeg_calc_output_dimensions(cinfo);
    const QSize decoded(int(cinfo->output_width), int(cinfo->output_height));
    job->needed = jpegDecodeBytes(*job->layout, eighths) + job->sink->bytesFor(decoded);
    if (exceedsDecodeLimit(job->needed)) {
        job->allowed = decodeLimit();
        return false;
    }
    if (!job->sink->begin(decoded)) {
        job->refusedBySink = true;
        return false;
    }
    jpeg_start_decompress(cinfo);
    if (partial) {
        int status = JPEG_SUSPENDED;
        do {
            status = jpeg_consume_input(cinfo);
        } while (status != JPEG_REACHED_EOI && status != JPEG_SUSPENDED &&
                 !(status == JPEG_REACHED_SOS && usedCoefficientsComplete(cinfo)));
        // Output from the scans read completely: the one just begun is not.
        const bool atEnd = status != JPEG_REACHED_SOS;
        jpeg_start_output(cinfo, atEnd ? cinfo->input_scan_number : cinfo->input_scan_number - 1);
    }

    const JDIMENSION width = cinfo->output_width;
    JSAMPARRAY in = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                width * 4, 1);
    JSAMPARRAY bgrx = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo),
                                                  JPOOL_IMAGE, width * 4, 1);
    // Adobe writes CMYK inverted (0 = full ink); others write it plain.
    const bool inverted = cinfo->saw_Adobe_marker;
    while (cinfo->output_scanline < cinfo->output_height) {
        if (jpeg_read_scanlines(cinfo, in, 1) != 1) break;
        // libjpeg would go on with grey rows past the end of a cut file;
        // such a file counts as damaged, so stop here.
        if (err->endOfDataSeen) break;
        if (!cmyk) {
            job->sink->row(in[0]);
            continue;
        }
        if (job->cmykProfile) {
            job->cmykProfile->convertCmyk(in[0], bgrx[0], width);
            job->sink->row(bgrx[0]);
            continue;
        }
        const JSAMPLE* p = in[0];
        JSAMPLE* q = bgrx[0];
        for (JDIMENSION x = 0; x < width; ++x, p += 4, q += 4) {
            const unsigned c = inverted ? p[0] : 255u - p[0];
            const unsigned m = inverted ? p[1] : 255u - p[1];
            const unsigned y = inverted ? p[2] : 255u - p[2];
            const unsigned k = inverted ? p[3] : 255u - p[3];
            q[0] = mul255(y, k);
            q[1] = mul255(m, k);
            q[2] = mul255(c, k);
            q[3] = 0xff;
        }
        job->sink->row(bgrx[0]);
    }
    return true;
}

QString libjpegMessage(const ErrorManager& err) {
    return QStringLiteral("JPEG: ") + QString::fromLocal8Bit(err.message);
}

}  // namespace

Expected<JpegHeader> readJpegHeader(const PictureFile& picture) {
    const Expected<FILE*> opened = openFile(picture);
    if (!opened) return unexpected(opened.error());
    FILE* file = *opened;
    ErrorManager err;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    JpegHeader info;
    const bool ok = readInfo(file, &err, &cinfo, &info);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    if (!ok) return fail(libjpegMessage(err));
    if (info.stored.width() < 1 || info.stored.height() < 1)
        return fail(QStringLiteral("JPEG without picture area"));
    return info;
}

qint64 jpegDecodeBytes(const JpegLayout& layout, int eighths) {
    // libjpeg's tables, its input buffer and the state of its modules.
    constexpr qint64 kTables = qint64(1) << 20;
    const qint64 width = std::max(layout.stored.width(), 1);
    const qint64 height = std::max(layout.stored.height(), 1);
    const int n = std::clamp(eighths, 1, 8);
    int maxH = 1, maxV = 1;
    for (const auto& [h, v] : layout.sampling) {
        maxH = std::max(maxH, h);
        maxV = std::max(maxV, v);
    }
    const auto roundUp = [](qint64 a, qint64 b) { return (a + b - 1) / b * b; };
    const qint64 outWidth = (width * n + 7) / 8;
    qint64 bytes = kTables + outWidth * 4 * 2;  // the row handed out and its conversion
    for (const auto& [h, v] : layout.sampling) {
        const qint64 across = (width * h + maxH * 8 - 1) / (maxH * 8);  // blocks
        const qint64 down = (height * v + maxV * 8 - 1) / (maxV * 8);
        // The component's own DCT scale: libjpeg raises it for subsampled
        // components so that less is left to upsampling.
        int size = n;
        while (size < 8 && (maxH * n) % (h * size * 2) == 0 && (maxV * n) % (v * size * 2) == 0)
            size *= 2;
        if (layout.multiScan) bytes += roundUp(across, h) * roundUp(down, v) * 64 * 2;
        // One band of blocks, with two more row groups of context.
        bytes += across * size * (qint64(v) * size * (n + 2) / n + 1);
        // Upsampled rows when the component is smaller than the output.
        if (h * size != maxH * n || v * size != maxV * n) bytes += roundUp(outWidth, maxH) * maxV;
    }
    return bytes;
}

QSize jpegScaledSize(QSize stored, int eighths) {
    auto side = [eighths](int s) { return int((qint64(s) * eighths + 7) / 8); };
    return QSize(side(stored.width()), side(stored.height()));
}

int jpegScaleFor(QSize stored, QSize atLeast) {
    if (!atLeast.isValid()) return 8;
    for (int n = 1; n < 8; ++n) {
        const QSize s = jpegScaledSize(stored, n);
        // A scale that reduces nothing (a picture of a few pixels, where
        // rounding up gives back its own size) would only trade the full
        // inverse DCT and smooth chroma for a coarser one.
        if (s == stored) return 8;
        if (s.width() >= atLeast.width() && s.height() >= atLeast.height()) return n;
    }
    return 8;
}

Status decodeJpegRows(const PictureFile& picture, QSize atLeast, JpegRowSink& sink,
                      const SrgbConversion* cmykProfile) {
    const Expected<FILE*> opened = openFile(picture);
    if (!opened) return unexpected(opened.error());
    FILE* file = *opened;
    ErrorManager err;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    JpegLayout layout;
    DecodeJob job{&sink, atLeast, cmykProfile, &layout, false, 0, 0};
    const bool ok = runDecode(file, &err, &cinfo, &job);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    if (job.allowed > 0) return tooLarge(job.needed, job.allowed);
    if (job.refusedBySink) return fail(QStringLiteral("JPEG output refused"));
    // Should libjpeg need more than reckoned, that is still a picture too
    // large, never its own words about a backing store.
    if (!ok && err.pub.msg_code == JERR_NO_BACKING_STORE)
        return tooLarge(std::max(job.needed, decodeLimit() + 1), decodeLimit());
    if (!ok) return fail(libjpegMessage(err));
    // Other warnings (stray bytes, a damaged block) still give a usable
    // picture; a file cut short does not.
    if (err.endOfDataSeen) return fail(QStringLiteral("JPEG data ends before the picture"));
    return {};
}

}  // namespace miniskop
