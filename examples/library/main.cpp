// orvi_example IN OUT: loads any picture orvi reads, says what it is, turns it a quarter
// to the right and saves it in the format OUT's extension names.
#include <cstdio>

#include <orvi/orvi.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: orvi_example IN OUT\n");
        return 2;
    }
    orvi::Library library;
    orvi::Error error;
    auto image = library.load(argv[1], error);
    if (!image) {
        std::fprintf(stderr, "cannot load %s: %s\n", orvi::quoted(argv[1]).c_str(),
                     error.sentence.c_str());
        return 1;
    }
    std::printf("%s\n", orvi::summary(argv[1], *image).c_str()); // what `orvi info` says
    if (!library.apply(*image, orvi::Operation::rotate(false), error) ||
        !library.save(*image, argv[2], {}, error)) {
        std::fprintf(stderr, "cannot save %s: %s\n", orvi::quoted(argv[2]).c_str(),
                     error.sentence.c_str());
        return 1;
    }
    std::printf("saved %s (%u x %u), orvi %s\n", argv[2], image->width(), image->height(),
                ORVI_VERSION);
    return 0;
}
