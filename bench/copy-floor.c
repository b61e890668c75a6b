/* The floor of a frame-copy cut into many pieces: what the cut cannot avoid doing, without
 * any of its parsing, planning, tags or checks. The source is mapped and read once from end
 * to end (the frame tally the plan needs before the first piece is named); then each of
 * PIECES equal byte ranges is written to a new file in DIR (created exclusively, renamed into
 * place), summed in 1 MB steps just before each step is written from the mapping (the stand-in
 * for the LAME tag's music CRC, which also brings the bytes into the caches for the copy).
 *
 * Usage: copy-floor SOURCE DIR PIECES
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kStep = 1 << 20, kLine = 64 };

int main(int argc, char** argv) {
    if (argc != 4) {
        fputs("usage: copy-floor SOURCE DIR PIECES\n", stderr);
        return 2;
    }
    const int pieces = atoi(argv[3]);
    const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size == 0 || pieces < 1) return 1;
    const size_t size = (size_t)st.st_size;
    const uint8_t* data = mmap(NULL, size, PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) return 1;

    uint64_t sum = 0;
    for (size_t at = 0; at < size; at += kLine) sum += ((const volatile uint8_t*)data)[at];

    const size_t pieceSize = size / (size_t)pieces + 1;
    char part[4096], name[4096];
    for (int k = 0; k < pieces; ++k) {
        const size_t begin = (size_t)k * pieceSize;
        const size_t end = begin + pieceSize < size ? begin + pieceSize : size;
        snprintf(part, sizeof part, "%s/.floor-%d.part", argv[2], k);
        snprintf(name, sizeof name, "%s/piece-%02d.mp3", argv[2], k + 1);
        const int out = open(part, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (out < 0) return 1;
        for (size_t at = begin; at < end; at += kStep) {
            const size_t stepEnd = at + kStep < end ? at + kStep : end;
            uint64_t h = 0;
            for (size_t i = at; i + 8 <= stepEnd; i += 8) {
                uint64_t v;
                memcpy(&v, data + i, 8);
                h ^= v * 0x9E3779B97F4A7C15ull;
            }
            sum += h;
            if (write(out, data + at, stepEnd - at) != (ssize_t)(stepEnd - at)) return 1;
        }
        if (close(out) != 0 || rename(part, name) != 0) return 1;
    }
    munmap((void*)data, size);
    return sum == 1 ? 3 : 0; /* keeps the sums from being optimised away */
}
