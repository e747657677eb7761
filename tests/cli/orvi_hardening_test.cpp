// The command against hostile files and careless places: pictures that declare more
// pixels than anyone should allocate, devices, pipes and protected files as outputs,
// temporary files, file names that hold line breaks, closed standard streams, inputs
// that can be read only once, and formats whose rules were read too narrowly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <zlib.h>

#include "lib/host_pool.h"
#include "lib/library_inside.h"
#include "orvi/orvi.h"
#include "png/png_file.h"
#include "tests/cli/orvi_run.h"

namespace {

using namespace testing_support;

const Bytes kPixels{255, 0, 7, 1, 2, 3, 9, 9, 9, 40, 50, 60};
const Bytes kPicture = concat(bytes_of("P6\n2 2\n255\n"), kPixels);
const Bytes kSaved = concat(bytes_of("P6\n#Created with Orvi\n2 2\n255\n"), kPixels);

void put_be32(Bytes& out, uint32_t value) {
    for (const uint32_t shift : {24U, 16U, 8U, 0U}) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

Bytes png_chunk(const std::string& type, const Bytes& data) {
    Bytes out;
    put_be32(out, static_cast<uint32_t>(data.size()));
    Bytes typed = concat(bytes_of(type), data);
    out = concat(out, typed);
    put_be32(out, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
    return out;
}

struct Bomb {
    const char* name;
    Bytes file;
    uint64_t width;
    uint64_t height;
};

// Small files whose headers declare pictures far above the default pixel limit.
std::vector<Bomb> bombs() {
    Bytes pcx(128, 0);
    pcx[0] = 10;
    pcx[1] = 5;
    pcx[2] = 1;
    pcx[3] = 8;
    pcx[8] = 0xFE; // window to 65534 x 39999: 65535 x 40000 pixels
    pcx[9] = 0xFF;
    pcx[10] = 0x3F;
    pcx[11] = 0x9C;
    pcx[65] = 3; // three planes; BytesPerLine stays 0
    Bytes ilbm_body = bytes_of("ILBMBMHD");
    put_be32(ilbm_body, 20);
    ilbm_body = concat(ilbm_body, {0x4E, 0x20, 0x4E, 0x20, 0, 0, 0,    0,    24,   0,
                                   1,    0,    0,    0,    1, 1, 0x4E, 0x20, 0x4E, 0x20});
    ilbm_body = concat(ilbm_body, bytes_of("BODY"));
    put_be32(ilbm_body, 2);
    ilbm_body = concat(ilbm_body, {0x80, 0x80});
    Bytes ilbm = bytes_of("FORM");
    put_be32(ilbm, static_cast<uint32_t>(ilbm_body.size()));
    ilbm = concat(ilbm, ilbm_body);
    Bytes ihdr;
    put_be32(ihdr, 30000);
    put_be32(ihdr, 30000);
    ihdr = concat(ihdr, {8, 2, 0, 0, 0});
    Bytes idat(64);
    uLongf idat_size = idat.size();
    const Bytes row(100, 0);
    (void)compress(idat.data(), &idat_size, row.data(), row.size());
    idat.resize(idat_size);
    const Bytes png = concat(concat(concat(bytes_of("\x89PNG\r\n\x1a\n"), png_chunk("IHDR", ihdr)),
                                    png_chunk("IDAT", idat)),
                             png_chunk("IEND", {}));
    return {
        {"bomb.pcx", pcx, 65535, 40000},
        {"bomb.ppm", concat(bytes_of("P6\n32767 32767\n255\n"), Bytes(900, 0)), 32767, 32767},
        {"bomb.xpm", bytes_of("\"30000 30000 1 1\" \"a c red\" \"aaaa\""), 30000, 30000},
        {"bomb.iff", ilbm, 20000, 20000},
        {"bomb.png", png, 30000, 30000},
    };
}

class OrviHardening : public testing_support::OrviRun {
protected:
    std::string text_of(const std::string& name) {
        const Bytes bytes = read_file(path(name));
        return {bytes.begin(), bytes.end()};
    }
    static std::string orvi_binary() { return ORVI_BINARY; }
};

TEST_F(OrviHardening, ThePixelLimitRefusesBombsFromTheirHeadersAlone) {
    orvi::Options options;
    options.module_folder = MODULE_DIR;
    for (const Bomb& bomb : bombs()) {
        SCOPED_TRACE(bomb.name);
        write_file(path(bomb.name), bomb.file);
        orvi::Library library(options);
        orvi::Error error;
        EXPECT_FALSE(library.load(path(bomb.name), error));
        EXPECT_EQ(error.code, orvi::kTooManyPixels);
        EXPECT_EQ(error.sentence,
                  orvi::too_many_pixels_sentence(bomb.width, bomb.height, orvi::kDefaultMaxPixels));
        const orvi::HostPool& pool = orvi::LibraryInside::pool(library);
        EXPECT_EQ(pool.live_blocks(), 0U);
        EXPECT_LT(pool.peak_bytes(), uint64_t{1} << 20U) << "have " << pool.peak_bytes();
    }
    const Outcome run = orvi("convert bomb.pcx out.png");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvi: cannot load 'bomb.pcx': it declares 65535 x 40000 pixels, more "
                       "than the limit of 268435456 (--max-pixels N sets the limit, 0 for none)\n");
    EXPECT_FALSE(std::filesystem::exists(path("out.png")));
}

TEST_F(OrviHardening, MaxPixelsSetsTheLimitForEveryReader) {
    write_file(path("in.ppm"), kPicture);
    ASSERT_EQ(orvi("convert in.ppm in.png").status, 0);
    for (const char* in : {"in.ppm", "in.png"}) {
        SCOPED_TRACE(in);
        const std::string name(in);
        const Outcome refused = orvi("convert " + name + " out.ppm --max-pixels 3");
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err, "orvi: cannot load '" + name +
                                   "': it declares 2 x 2 pixels, more than the limit of 3 "
                                   "(--max-pixels N sets the limit, 0 for none)\n");
        for (const char* limit : {"4", "0"}) {
            ASSERT_EQ(orvi("convert " + name + " out.ppm --max-pixels " + limit).status, 0);
            EXPECT_EQ(read_file(path("out.ppm")), kSaved);
        }
    }
    const Outcome info = orvi("info --max-pixels 3 in.ppm");
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "in.ppm: cannot load: it declares 2 x 2 pixels, more than the limit of 3 "
                        "(--max-pixels N sets the limit, 0 for none)\n");
    const Outcome usage = orvi("convert in.ppm out.ppm --max-pixels lots");
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err, "orvi: --max-pixels takes a whole number of pixels (0 for no limit), "
                         "not 'lots'\n(see 'orvi --help')\n");
}

TEST_F(OrviHardening, BatchWorkersShareTheByteLimitOfOneProcess) {
    // The stand-in module writes the largest block its pool grants to NAME.limit.
    write_file(path("a-measure.ppm"), kPicture);
    write_file(path("b-measure.ppm"), kPicture);
    write_file(path("c-measure.ppm"), kPicture);
    const std::string probe = std::string("ORVI_MODULE_PATH=") + PROBE_DIR;
    (void)orvi("convert a-measure.ppm a.ppm", probe);
    (void)orvi("convert --to ppm --out-dir o --jobs 2 b-measure.ppm c-measure.ppm", probe);
    const uint64_t alone = std::stoull(text_of("a-measure.ppm.limit"));
    EXPECT_EQ(alone, orvi::HostPool::default_limit());
    for (const char* name : {"b-measure.ppm.limit", "c-measure.ppm.limit"}) {
        EXPECT_EQ(std::stoull(text_of(name)), alone / 2) << name;
    }
}

TEST_F(OrviHardening, DevicesAndPipesAsOutputAreWrittenNeverReplaced) {
    write_file(path("in.ppm"), kPicture);
    // A pipe's reader gets the file; the pipe stays a pipe.
    ASSERT_EQ(shell("mkfifo out.fifo"), 0);
    EXPECT_EQ(shell("(cat out.fifo > got.ppm &) && " + orvi_binary() +
                    " convert in.ppm out.fifo --to ppm && sleep 0.2"),
              0);
    EXPECT_TRUE(std::filesystem::is_fifo(path("out.fifo")));
    EXPECT_EQ(read_file(path("got.ppm")), kSaved);
    // A socket and a folder make no sense as outputs.
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = path("out.sock");
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    std::copy(socket_path.begin(), socket_path.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const Outcome to_socket = orvi("convert in.ppm out.sock --to ppm");
    ::close(sock);
    EXPECT_EQ(to_socket.status, 1);
    EXPECT_EQ(to_socket.err,
              "orvi: cannot save 'out.sock': it is a socket, which orvi does not write to\n");
    EXPECT_TRUE(std::filesystem::is_socket(path("out.sock")));
    // Devices, made in a private mount namespace so that the real /dev is never touched.
    if (::geteuid() != 0 || shell("unshare -m true 2>/dev/null") != 0) {
        GTEST_SKIP() << "devices as outputs need root and unshare -m to make test devices";
    }
    std::filesystem::create_directory(path("dev"));
    const std::string orvi = orvi_binary();
    ASSERT_EQ(shell("unshare -m sh -c 'mount -t tmpfs tmpfs dev && mknod dev/null c 1 3 && "
                    "mknod dev/full c 1 7 && " +
                    orvi + " convert in.ppm dev/null --to ppm 2>null.err; echo $? >null.status; " +
                    orvi + " convert in.ppm dev/full --to ppm 2>full.err; echo $? >full.status; " +
                    "stat -c %F dev/null dev/full >kinds'"),
              0);
    EXPECT_EQ(text_of("null.status"), "0\n") << text_of("null.err");
    EXPECT_EQ(text_of("full.status"), "1\n");
    EXPECT_EQ(text_of("full.err"),
              "orvi: cannot save 'dev/full': cannot write it (No space left on device)\n");
    EXPECT_EQ(text_of("kinds"), "character special file\ncharacter special file\n");
}

TEST_F(OrviHardening, AReplacedFileKeepsItsProtectionsButNoSetId) {
    write_file(path("in.ppm"), kPicture);
    // Hard links: the replaced file is a new file; the other name keeps the old content.
    write_file(path("linked.ppm"), bytes_of("old"));
    std::filesystem::create_hard_link(path("linked.ppm"), path("other-name.ppm"));
    ASSERT_EQ(orvi("convert in.ppm linked.ppm").status, 0);
    EXPECT_EQ(read_file(path("linked.ppm")), kSaved);
    EXPECT_EQ(read_file(path("other-name.ppm")), bytes_of("old"));
    // Permissions are kept, the set-ID bits are not.
    write_file(path("setid.ppm"), bytes_of("old"));
    ASSERT_EQ(::chmod(path("setid.ppm").c_str(), 06750), 0);
    ASSERT_EQ(orvi("convert in.ppm setid.ppm").status, 0);
    struct stat status {};
    ASSERT_EQ(::stat(path("setid.ppm").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0750U);
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the owner of a replaced file can be checked only as root";
    }
    write_file(path("theirs.ppm"), bytes_of("old"));
    ASSERT_EQ(::chown(path("theirs.ppm").c_str(), 65534, 65534), 0);
    ASSERT_EQ(orvi("convert in.ppm theirs.ppm").status, 0);
    ASSERT_EQ(::stat(path("theirs.ppm").c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65534U);
    EXPECT_EQ(status.st_gid, 65534U);
}

TEST_F(OrviHardening, AWriteProtectedFileIsReplacedOnlyWithForce) {
    write_file(path("in.ppm"), kPicture);
    write_file(path("kept.ppm"), bytes_of("old"));
    ASSERT_EQ(::chmod(path("kept.ppm").c_str(), 0444), 0);
    // As root every file is writable: the check runs as another user there.
    std::string as_user;
    if (::geteuid() == 0) {
        if (shell("setpriv --help >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "setpriv is absent: it runs the check as an ordinary user";
        }
        std::filesystem::permissions(folder_.root(), std::filesystem::perms::all);
        as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        if (shell(as_user + orvi_binary() + " --version >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "an ordinary user cannot run this build (a folder on its way is "
                            "closed to others, as /root is): the check needs one";
        }
    }
    const std::string orvi = as_user + orvi_binary();
    ASSERT_EQ(shell(orvi + " convert in.ppm kept.ppm 2>refused.err; echo $? >refused.status"), 0);
    EXPECT_EQ(text_of("refused.status"), "1\n");
    EXPECT_EQ(text_of("refused.err"),
              "orvi: cannot save 'kept.ppm': it is write-protected (--force replaces it)\n");
    EXPECT_EQ(read_file(path("kept.ppm")), bytes_of("old"));
    ASSERT_EQ(shell(orvi + " convert in.ppm kept.ppm --force"), 0);
    EXPECT_EQ(read_file(path("kept.ppm")), kSaved);
}

TEST_F(OrviHardening, TemporaryFilesBelongToTheirProcess) {
    write_file(path("in.ppm"), kPicture);
    // Left by a killed run more than a day ago: removed; a fresh one may be another
    // run's, in flight: kept; so is another target's.
    for (const char* name :
         {".out.ppm.orvi-999-abcdef", ".out.ppm.orvi-998-ghijkl", ".other.ppm.orvi-997-mnopqr"}) {
        write_file(path(name), bytes_of("left"));
    }
    ASSERT_EQ(shell("touch -d '2 days ago' .out.ppm.orvi-999-abcdef .other.ppm.orvi-997-mnopqr"),
              0);
    ASSERT_EQ(orvi("convert in.ppm out.ppm").status, 0);
    EXPECT_FALSE(std::filesystem::exists(path(".out.ppm.orvi-999-abcdef")));
    EXPECT_TRUE(std::filesystem::exists(path(".out.ppm.orvi-998-ghijkl")));
    EXPECT_TRUE(std::filesystem::exists(path(".other.ppm.orvi-997-mnopqr")));
    // A batch cleans up after a worker killed half-way through its save, and only that.
    std::filesystem::create_directory(path("o"));
    write_file(path("o/.dies.ppm.orvi-1-abcdef"), bytes_of("a concurrent run's"));
    write_file(path("dies.ppm"), kPicture);
    const Outcome killed =
        orvi("convert --to ppm --out-dir o dies.ppm", std::string("ORVI_MODULE_PATH=") + PROBE_DIR);
    EXPECT_EQ(killed.status, 1);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(path("o"))) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{".dies.ppm.orvi-1-abcdef"});
    // Names up to the longest a folder allows save: the temporary name is kept within it.
    for (const size_t length : {243U, 250U, 255U}) {
        const std::string name = std::string(length - 4, 'n') + ".ppm";
        SCOPED_TRACE(length);
        ASSERT_EQ(orvi("convert in.ppm " + name).status, 0);
        EXPECT_EQ(read_file(path(name)), kSaved);
    }
}

TEST_F(OrviHardening, AFileNameCannotBreakABatchOrItsMessages) {
    const std::string odd = "q\nX\tz.ppm";
    write_file(path(odd), bytes_of("P6\n"));
    write_file(path("good.ppm"), kPicture);
    const Outcome run =
        orvi("convert --jobs 1 --to png --out-dir o " + shell_quote(odd) + " good.ppm");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvi: cannot load 'q\\nX\\tz.ppm': the file ended before its size "
                       "(code 1005)\norvi: 1 of 2 files not converted\n");
    EXPECT_TRUE(std::filesystem::exists(path("o/good.png")));
    // Single conversions and info escape the name the same way.
    EXPECT_EQ(orvi("convert " + shell_quote(odd) + " x.ppm").err,
              "orvi: cannot load 'q\\nX\\tz.ppm': the file ended before its size (code 1005)\n");
    EXPECT_EQ(orvi("info " + shell_quote(odd)).out,
              "q\\nX\\tz.ppm: cannot load: the file ended before its size (code 1005)\n");
}

TEST_F(OrviHardening, AClosedStandardStreamIsNeverTakenForAFile) {
    write_file(path("in.ppm"), kPicture);
    const std::string orvi = orvi_binary();
    EXPECT_EQ(shell(orvi + " convert in.ppm - --to ppm >&- 2>out.err"), 1);
    EXPECT_EQ(text_of("out.err"), "orvi: cannot save standard output: it is closed\n");
    EXPECT_EQ(shell(orvi + " convert - out.ppm <&- 2>in.err"), 1);
    EXPECT_EQ(text_of("in.err"), "orvi: cannot load standard input: it is closed\n");
    // Files still work with every standard stream closed.
    EXPECT_EQ(shell(orvi + " convert in.ppm out.ppm <&- >&- 2>&-"), 0);
    EXPECT_EQ(read_file(path("out.ppm")), kSaved);
}

TEST_F(OrviHardening, InputsThatCanBeReadOnlyOnceAreSpooled) {
    write_file(path("in.ppm"), kPicture);
    const std::string orvi = orvi_binary();
    EXPECT_EQ(shell("cat in.ppm | " + orvi + " convert /dev/stdin a.ppm"), 0);
    EXPECT_EQ(shell("bash -c '" + orvi + " convert <(cat in.ppm) b.ppm'"), 0);
    ASSERT_EQ(shell("mkfifo in.fifo"), 0);
    EXPECT_EQ(shell("(cat in.ppm > in.fifo &) && " + orvi + " convert in.fifo c.ppm"), 0);
    for (const char* out : {"a.ppm", "b.ppm", "c.ppm"}) {
        EXPECT_EQ(read_file(path(out)), kSaved) << out;
    }
    EXPECT_EQ(shell("(cat in.ppm > in.fifo &) && " + orvi + " info in.fifo >info.out"), 0);
    EXPECT_EQ(text_of("info.out"), "in.fifo: PNM, 2 x 2, 24 bits per pixel in the file, kind PPM "
                                   "raw, maximum 255\n");
}

TEST_F(OrviHardening, DoubleDashEndsTheOptions) {
    write_file(path("-x.ppm"), kPicture);
    EXPECT_EQ(orvi("convert -x.ppm y.ppm").status, 2);
    ASSERT_EQ(orvi("convert --negate -- -x.ppm -y.ppm").status, 0);
    ASSERT_EQ(orvi("convert --negate -- -y.ppm -z.ppm").status, 0);
    EXPECT_EQ(read_file(path("-z.ppm")), kSaved);
    ASSERT_EQ(orvi("info -- -x.ppm").status, 0);
}

TEST_F(OrviHardening, FormatRulesReadWideEnough) {
    // An XPM whose values string follows a long licence comment.
    const std::string licence = "/* " + std::string(5000, 'L') + " */\n";
    write_file(path("licensed.xpm"), bytes_of(licence + "\"1 1 1 1\" \"a c #0A0B0C\" \"a\""));
    ASSERT_EQ(orvi("convert licensed.xpm out.ppm").status, 0);
    EXPECT_EQ(read_file(path("out.ppm")),
              bytes_of("P6\n#Created with Orvi\n1 1\n255\n\x0A\x0B\x0C"));
    EXPECT_EQ(orvi("info licensed.xpm").out,
              "licensed.xpm: XPM, 1 x 1, 8 bits per pixel in the file, colours 1, characters per "
              "pixel 1, palette entries 1\n");
    // PNM rasters after a single space, and header and raster on one line.
    write_file(path("one-line.ppm"), concat(bytes_of("P6 2 2 255 "), kPixels));
    ASSERT_EQ(orvi("convert one-line.ppm out.ppm").status, 0);
    EXPECT_EQ(read_file(path("out.ppm")), kSaved);
}

TEST_F(OrviHardening, PnmSidesAboveTheWritersLimitAreRefusedInTheFormatsTerms) {
    Bytes samples(40000 * 3, 40);
    const Picture wide{samples.data(), 40000, 1, 3, 40000, 1, 24, 0, 0, 0};
    orvi::HostPool pool;
    std::string error;
    ASSERT_TRUE(orvi::save_png(pool, path("wide.png").c_str(), wide, nullptr, error)) << error;
    const Outcome run = orvi("convert wide.png wide.ppm");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "orvi: cannot save 'wide.ppm': PNM files that orvi writes hold at most "
                       "32767 x 32767 pixels, and the picture is 40000 x 1; save it as PNG\n");
    EXPECT_FALSE(std::filesystem::exists(path("wide.ppm")));
}

} // namespace
