#include "bmpfile/fits_cards.h"

#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace bmpfile {
namespace {

constexpr std::size_t kCardsInRecord = kRecordBytes / kCardBytes;
constexpr int kMostAxes = 999;

// CFITSIO's value buffers hold 70 characters and a NUL; a column's name
// (TTYPEn) goes on into a field of 70 bytes with its NUL.
constexpr std::size_t kValueRoom = 70;
constexpr std::size_t kColumnNameRoom = 69;

// The keyword of a card: its first 8 characters, blanks after it dropped.
std::string keyword_of(const char *card) {
    std::string keyword(card, 8);
    keyword.erase(keyword.find_last_not_of(' ') + 1);
    return keyword;
}

bool keyword_is(const char *card, const char *keyword) {
    const std::size_t length = std::strlen(keyword);
    return std::memcmp(card, keyword, length) == 0 && (length == 8 || card[length] == ' ');
}

// The length of the value CFITSIO parses from a card (its ffpsvc): from
// column 11 after "= ", else from after the first '='; a quoted string
// with its quotes, a complex number with its parentheses, else a token
// ended by a blank or a slash. A string that never closes is cut to fit.
std::size_t value_length(const char *card) {
    std::size_t at = card[8] == '=' && card[9] == ' ' ? 10 : 0;
    if (at == 0) {
        const void *equals = std::memchr(card, '=', kCardBytes);
        if (equals == nullptr || keyword_is(card, "COMMENT") || keyword_is(card, "HISTORY"))
            return 0;
        at = std::size_t(static_cast<const char *>(equals) - card) + 1;
    }
    while (at < kCardBytes && card[at] == ' ')
        ++at;
    if (at == kCardBytes)
        return 0;
    std::size_t end = at + 1;
    if (card[at] == '\'' || card[at] == '(') {
        const char close = card[at] == '\'' ? '\'' : ')';
        while (end < kCardBytes &&
               !(card[end] == close && (close != '\'' || end + 1 == kCardBytes || card[end + 1] != '\'')))
            end += card[end] == '\'' ? 2 : 1;
        return end < kCardBytes ? end - at + 1 : 0;
    }
    while (end < kCardBytes && card[end] != ' ' && card[end] != '/')
        ++end;
    return end - at;
}

bool cfitsio_cannot_take(const char *card) {
    const std::size_t length = value_length(card);
    return length > kValueRoom || (std::memcmp(card, "TTYPE", 5) == 0 && card[10] != '\'' && length > kColumnNameRoom);
}

// An integer card's value, as far as strtoll reads it.
long long integer_of(const char *card) {
    char value[kCardBytes + 1] = {};
    std::memcpy(value, card + 10, kCardBytes - 10);
    return std::strtoll(value, nullptr, 10);
}

// What a header says of the data unit that follows it.
struct DataUnit {
    long long bitPix = 0, pcount = 0, gcount = 1;
    long long axes[kMostAxes + 1] = {};
    int axisCount = 0;
    bool groups = false;

    void take(const char *card) {
        if (keyword_is(card, "BITPIX"))
            bitPix = integer_of(card);
        else if (keyword_is(card, "NAXIS"))
            axisCount = int(std::min<long long>(std::max(integer_of(card), 0LL), kMostAxes));
        else if (keyword_is(card, "PCOUNT"))
            pcount = integer_of(card);
        else if (keyword_is(card, "GCOUNT"))
            gcount = integer_of(card);
        else if (keyword_is(card, "GROUPS"))
            groups = card[29] == 'T';
        else if (std::memcmp(card, "NAXIS", 5) == 0) {
            const long long axis = std::strtoll(keyword_of(card).c_str() + 5, nullptr, 10);
            if (axis >= 1 && axis <= kMostAxes)
                axes[axis] = integer_of(card);
        }
    }
    // Its bytes, or -1 for sizes no file holds.
    long long bytes() const {
        if (axisCount == 0)
            return 0;
        long long count = 1;
        for (int axis = groups && axes[1] == 0 ? 2 : 1; axis <= axisCount; ++axis)
            if (axes[axis] < 0 || __builtin_mul_overflow(count, axes[axis], &count))
                return -1;
        long long total = 0;
        if (pcount < 0 || gcount < 0 || __builtin_add_overflow(count, pcount, &count) ||
            __builtin_mul_overflow(count, gcount, &total) ||
            __builtin_mul_overflow(total, std::llabs(bitPix) / 8, &total))
            return -1;
        return total;
    }
};

} // namespace

std::string card_cfitsio_cannot_take(int fd) {
    char record[kRecordBytes];
    off_t at = 0;
    for (int hdu = 1;; ++hdu) {
        DataUnit unit;
        for (bool first = true, ended = false; !ended; first = false, at += off_t(kRecordBytes)) {
            if (pread(fd, record, kRecordBytes, at) != ssize_t(kRecordBytes) ||
                (first && std::memcmp(record, hdu == 1 ? "SIMPLE  " : "XTENSION", 8) != 0))
                return "";
            for (std::size_t card = 0; card < kCardsInRecord && !ended; ++card) {
                const char *c = record + card * kCardBytes;
                if (cfitsio_cannot_take(c))
                    return "HDU " + std::to_string(hdu) + ": its " + keyword_of(c) +
                           " card is damaged: its value fills the card, which CFITSIO cannot read";
                ended = keyword_is(c, "END");
                unit.take(c);
            }
        }
        const long long bytes = unit.bytes();
        if (bytes < 0 || bytes > std::numeric_limits<off_t>::max() - at - off_t(kRecordBytes))
            return "";
        at += off_t((bytes + kRecordBytes - 1) / off_t(kRecordBytes) * off_t(kRecordBytes));
    }
}

} // namespace bmpfile
