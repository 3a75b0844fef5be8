// lumetra-render: the road of one picture without a window. Each file is
// loaded, reduced, searched for its people, corrected by the touches given on
// the command line, rendered with the shallow depth of field and written as
// JPEG, through the same functions the application's window calls, so the file
// written is the one the application saves for the same picture and touches.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "imaging/BackgroundBlur.h"
#include "imaging/ImageRecord.h"
#include "imaging/JpegWriter.h"
#include "imaging/LoadPicture.h"
#include "imaging/PictureMetadata.h"
#include "imaging/PyramidLevel.h"
#include "imaging/ResizePicture.h"
#include "imaging/TouchMaskEditor.h"
#include "subject/SubjectMask.h"
#include "subject/WorkMemory.h"
#include "tools/common/ToolSupport.h"

namespace {

const char kUsage[] =
    "Usage: lumetra-render (-o OUT.jpg | --out-dir DIR) [--add X,Y]... [--erase X,Y]...\n"
    "                      [--mask OUT.png] [--quiet] FILE...\n"
    "\n"
    "Renders Lumetra's shallow depth of field on each picture as the application\n"
    "does: finds the people as Find does, applies the touches in the order given,\n"
    "blurs the background as Effect does and writes the result as JPEG (quality 75,\n"
    "the picture's width padded as the application pads it).\n"
    "\n"
    "Files are read as the application reads them: JPEG when the name contains\n"
    "\".jpg\", 24-bit BMP when it contains \".bmp\" (any case), and turned upright by\n"
    "their EXIF orientation. Pictures up to 100 megapixels are rendered; larger\n"
    "ones are refused from their header, before anything is decoded. The JPEG\n"
    "written keeps the photo's EXIF (orientation 1, no embedded thumbnail), colour\n"
    "profile and XMP.\n"
    "\n"
    "Options:\n"
    "  -o OUT.jpg      the file to write, for a single FILE (it may name FILE itself)\n"
    "  --out-dir DIR   write each result into DIR as <name without extension>.jpg;\n"
    "                  a picture is never written over its own file this way\n"
    "  --add X,Y       a touch of the add brush: the colour regions at and around\n"
    "                  X,Y join the subject\n"
    "  --erase X,Y     a touch of the erase brush: they leave it, and only the\n"
    "                  largest piece of subject is kept\n"
    "                  Touches are in pixels of the reduced working copy, which is\n"
    "                  the picture halved 0 to 4 times: once above 420 pixels on the\n"
    "                  longer side, twice above 850, three times above 1650, four\n"
    "                  times above 3250 (lumetra-detect --mask writes a PNG of that\n"
    "                  size). They apply to every FILE.\n"
    "  --mask OUT.png  also write the edited subject mask, the size of the reduced\n"
    "                  copy, as a grey PNG (255 = subject); with several files each\n"
    "                  gets OUT-<file name without extension>.png\n"
    "  --quiet         no progress lines, even on a terminal\n"
    "  --help          show this text\n"
    "\n"
    "A picture in which no one is found needs --add touches to mark its subject.\n"
    "A file that cannot be rendered is named on standard error with the reason and\n"
    "the others are still rendered. The last line on standard output counts the\n"
    "pictures rendered.\n"
    "\n"
    "Exit status: 0 when every picture was rendered, 1 when one was not, 2 for a\n"
    "usage error.\n";

struct Touch {
    int x, y;
    int erase;
};

struct Job {
    const char* input;
    std::string output;
    std::string mask;
};

// One line on standard error that is rewritten as a file goes through its
// steps, when standard error is a terminal.
class Progress {
public:
    explicit Progress(bool shown) : shown_(shown) {}

    void Step(size_t index, size_t count, const char* file, const char* step) {
        if (!shown_) return;
        std::fprintf(stderr, "\r\033[K[%zu/%zu] %s: %s", index + 1, count, BaseName(file), step);
        std::fflush(stderr);
    }
    void Clear() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }

private:
    bool shown_;
};

// Holds the working buffers of one picture and gives them back on every way out.
struct Work {
    ImageRecord full{};
    uint8_t* reduced = nullptr;
    uint8_t* mask = nullptr;
    ~Work() {
        ClearImageRecord(&full);
        WorkFree(reduced);
        WorkFree(mask);
        FreeRegionLabelMap();
    }
};

const char* SubjectFailure(int code) {
    switch (code) {
        case SUBJECT_NO_FACE:
            return "no one found; mark the subject with --add X,Y touches";
        case SUBJECT_TOO_NARROW:
            return "the picture is too small for the subject search";
        case SUBJECT_NO_MEMORY:
            return "not enough memory for the subject search";
        default:
            return "the subject search failed";
    }
}

bool SameFile(const std::string& a, const char* b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool Render(const Job& job, const std::vector<Touch>& touches, bool outputMayBeInput, Progress& progress, size_t index,
            size_t count, std::string* error) {
    const char* path = job.input;
    progress.Step(index, count, path, "reading");
    PictureArgument picture;
    std::wstring wideOut;
    if (!CheckPictureArgument(path, &picture, error) || !WidePath(job.output.c_str(), &wideOut, error)) return false;
    if (!outputMayBeInput && SameFile(job.output, path)) {
        *error = "the result would replace the picture itself (" + job.output + "); name it with -o to do that";
        return false;
    }

    Work work;
    if (LoadPicture(picture.path.c_str(), picture.name.c_str(), &work.full) != LOAD_OK) {
        *error = "not a readable JPEG or 24-bit BMP picture, or not enough memory for it";
        return false;
    }
    const int width = work.full.width, height = work.full.height;
    const int level = PyramidLevel(std::max(width, height));
    const int rw = width >> level, rh = height >> level;
    const size_t reducedPixels = static_cast<size_t>(rw) * static_cast<size_t>(rh);
    work.reduced = static_cast<uint8_t*>(WorkCalloc(reducedPixels, 3));
    work.mask = static_cast<uint8_t*>(WorkCalloc(reducedPixels, 1));
    if (!work.reduced || !work.mask) {
        *error = "not enough memory for the working copy";
        return false;
    }
    ResizePicture(work.full.pixels, width, height, work.reduced, rw, rh, 1);

    progress.Step(index, count, path, "finding the subject");
    int32_t rect[4];
    const int code = FindSubjectMask(work.reduced, work.mask, rw, rh, rect);
    // Without a face the regions stay labelled for the touches, as in the window.
    if (code != SUBJECT_OK && (code != SUBJECT_NO_FACE || touches.empty())) {
        *error = SubjectFailure(code);
        return false;
    }
    for (const Touch& t : touches) {
        if (t.x < 0 || t.y < 0 || t.x >= rw || t.y >= rh) {
            std::fprintf(stderr, "lumetra-render: %s: warning: touch %d,%d lies outside the %d x %d working copy\n",
                         path, t.x, t.y, rw, rh);
        }
        EditMaskByTouch(work.mask, rw, rh, t.x, t.y, t.erase);
    }
    FreeRegionLabelMap();
    if (!job.mask.empty() && !WriteMaskPng(job.mask, work.mask, rw, rh, error)) return false;

    progress.Step(index, count, path, "rendering");
    if (!RenderBackgroundBlur(work.full.pixels, work.mask, work.full.pixels, width, height)) {
        *error = "not enough memory for the blur";
        return false;
    }
    progress.Step(index, count, path, "writing");
    if (SaveJpegPicture(wideOut.c_str(), work.full.pixels, width, height, work.full.metadata) != 1) {
        *error = "cannot write " + job.output + " (no such folder, no permission or no space)";
        return false;
    }
    return true;
}

bool ParseTouch(const char* text, int erase, Touch* touch) {
    if (!text) return false;
    char* end = nullptr;
    errno = 0;
    const long x = std::strtol(text, &end, 10);
    if (end == text || *end != ',' || errno) return false;
    const char* second = end + 1;
    const long y = std::strtol(second, &end, 10);
    if (end == second || *end != '\0' || errno) return false;
    if (x < -100000 || x > 100000 || y < -100000 || y > 100000) return false;
    *touch = Touch{static_cast<int>(x), static_cast<int>(y), erase};
    return true;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "lumetra-render: %s\nTry 'lumetra-render --help'.\n", message.c_str());
    return 2;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, outDir, maskOut;
    std::vector<Touch> touches;
    std::vector<const char*> files;
    bool quiet = false, optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
            files.push_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(arg, "-o") == 0 || std::strcmp(arg, "--out-dir") == 0 ||
                   std::strcmp(arg, "--mask") == 0) {
            if (!next || !*next) return UsageError(std::string(arg) + " needs a file or folder name");
            (arg[1] == 'o' ? out : arg[2] == 'o' ? outDir : maskOut) = next;
            i++;
        } else if (std::strcmp(arg, "--add") == 0 || std::strcmp(arg, "--erase") == 0) {
            Touch touch;
            if (!ParseTouch(next, arg[2] == 'e', &touch)) return UsageError(std::string(arg) + " needs X,Y");
            touches.push_back(touch);
            i++;
        } else if (std::strcmp(arg, "--quiet") == 0 || std::strcmp(arg, "-q") == 0) {
            quiet = true;
        } else {
            return UsageError(std::string("unknown option '") + arg + "'");
        }
    }
    if (files.empty()) return UsageError("no picture files given");
    if (out.empty() == outDir.empty()) return UsageError("give either -o OUT.jpg or --out-dir DIR");
    if (!out.empty() && files.size() > 1) return UsageError("-o takes a single picture; use --out-dir for several");
    if (!outDir.empty() && !IsDirectory(outDir)) return UsageError("--out-dir " + outDir + " is not a folder");

    std::vector<Job> jobs;
    std::map<std::string, const char*> outputs;
    for (const char* path : files) {
        Job job{path, out, maskOut.empty() ? std::string() : MaskPath(maskOut, path, files.size() > 1)};
        if (!outDir.empty()) job.output = outDir + "/" + Stem(path) + ".jpg";
        // Two pictures of the same name would write one result or one mask.
        for (const std::string& written : {job.output, job.mask}) {
            if (written.empty()) continue;
            auto [at, added] = outputs.emplace(written, path);
            if (!added) {
                return UsageError(std::string("'") + at->second + "' and '" + path + "' would both write " + written +
                                  "; run them separately");
            }
        }
        jobs.push_back(job);
    }

    Progress progress(!quiet && isatty(STDERR_FILENO));
    size_t rendered = 0;
    for (size_t i = 0; i < jobs.size(); i++) {
        std::string error;
        const bool ok = Render(jobs[i], touches, !out.empty(), progress, i, jobs.size(), &error);
        progress.Clear();
        if (ok) {
            rendered++;
            if (!quiet && isatty(STDERR_FILENO)) {
                std::fprintf(stderr, "[%zu/%zu] %s -> %s\n", i + 1, jobs.size(), jobs[i].input, jobs[i].output.c_str());
            }
        } else {
            std::fprintf(stderr, "lumetra-render: %s: %s\n", jobs[i].input, error.c_str());
        }
    }
    std::printf("lumetra-render: %zu of %zu picture%s rendered%s\n", rendered, jobs.size(), jobs.size() == 1 ? "" : "s",
                rendered == jobs.size() ? "" : (", " + std::to_string(jobs.size() - rendered) + " failed").c_str());
    return rendered == jobs.size() ? 0 : 1;
}
