// File lists on several threads (--jobs): the same numbers, outputs, renamed names, counter,
// standard output and reasons as the run one file after another, whatever fails where.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "support/pdf_builder.hpp"
#include "support/test_files.hpp"

using namespace testpdf;
namespace fs = std::filesystem;

namespace {

// Every file of a folder tree with what a run stamped on it, in file order: the stamp texts
// in the order they stand in the file.
std::map<std::string, std::vector<std::string>> stampsBelow(const fs::path& folder) {
    std::map<std::string, std::vector<std::string>> stamps;
    const std::regex shown(R"(\n(\([^\n]*\)) Tj\nET\n)");
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file()) continue;
        const std::string bytes = readFile(e.path().string());
        auto& texts = stamps[fs::relative(e.path(), folder).string()];
        for (std::sregex_iterator m(bytes.begin(), bytes.end(), shown), end; m != end; ++m)
            texts.push_back((*m)[1]);
    }
    return stamps;
}

struct ListRun {
    CommandResult result;
    std::string counter;
    std::map<std::string, std::vector<std::string>> outputs;
};

// A list that mixes page counts, a damaged and a missing file, a file listed twice and one
// whose output cannot be written though it opens (a folder stands at its output path), with
// more files than the workers stage ahead, run into a fresh folder `name`.
class MixedList {
  public:
    MixedList() {
        const int pages[] = {3, 1, 12, 0, 5, -1, 2, 7, 4, 1, 9, 2, 6, 3, 1, 8};
        for (int k = 0; k < 40; ++k) {
            const std::string file = "f" + std::to_string(k) + ".pdf";
            const int count = pages[k % 16];
            if (count > 0) writeFile(dir_.file(file), simpleDocument(count).build());
            if (count == 0) writeFile(dir_.file(file), "%PDF-1.4\nnot a PDF\n");
            lines_ += file + "\n";
            if (k == 2) lines_ += "blocked.pdf\n" + file + "\n";
        }
        writeFile(dir_.file("blocked.pdf"), simpleDocument(2).build());
        writeFile(dir_.file("list.txt"), lines_);
    }

    ListRun run(const std::string& name, const std::vector<std::string>& options,
                const std::string& output = "") {
        const std::string out = dir_.file(name);
        fs::remove_all(out);
        fs::create_directories(out + "/blocked.pdf");
        writeFile(dir_.file(name + ".counter"), "100");
        std::vector<std::string> args = options;
        for (std::string& a : args)
            a = std::regex_replace(a, std::regex("COUNTER"), dir_.file(name + ".counter"));
        args.push_back("list.txt");
        args.push_back(output.empty() ? "-f" + out : "-o" + out + "/" + output);
        ListRun r;
        // The lines name files of the list's folder, as users write them.
        const fs::path cwd = fs::current_path();
        fs::current_path(dir_.path());
        r.result = runTavrix(args);
        fs::current_path(cwd);
        r.counter = readFile(dir_.file(name + ".counter"));
        fs::remove(out + "/blocked.pdf");
        r.outputs = stampsBelow(out);
        // Both runs' texts name their own folder.
        r.result.out = std::regex_replace(r.result.out, std::regex(out), "OUT");
        r.result.err = std::regex_replace(r.result.err, std::regex(out), "OUT");
        return r;
    }

  private:
    TempDir dir_;
    std::string lines_;
};

void expectSameRun(const ListRun& parallel, const ListRun& sequential) {
    EXPECT_EQ(parallel.result.exitCode, sequential.result.exitCode);
    EXPECT_EQ(parallel.result.out, sequential.result.out);
    EXPECT_EQ(parallel.result.err, sequential.result.err);
    EXPECT_EQ(parallel.counter, sequential.counter);
    EXPECT_EQ(parallel.outputs, sequential.outputs);
}

TEST(ParallelList, SameNumbersOutputsAndLinesAsOneFileAfterAnother) {
    MixedList list;
    struct Case {
        const char* name;
        std::vector<std::string> options;
        std::string output; // -o PATH below the run's folder; empty: -f into it
    };
    const std::vector<std::string> counter{"--importit", "COUNTER", "--exportit", "COUNTER"};
    auto with = [&](std::vector<std::string> options) {
        options.insert(options.end(), counter.begin(), counter.end());
        return options;
    };
    const std::vector<Case> cases{
        {"counter", with({}), ""},
        {"counter, nth and reverse, renamed",
         with({"--nth", "3", "--reverse", "1", "--renameoutput",
               "[FILETITLE]-[PAGESTART]-[PAGEEND].pdf", "--mask", "4"}),
         ""},
        {"counter, one output renamed", with({"--up2", "1", "--renameoutput", "n-[PAGESTART].pdf"}),
         "out.pdf"},
        {"export only", {"--startNumber", "7", "--exportit", "COUNTER"}, ""},
        {"import only", {"--importit", "COUNTER", "--ab2", "1"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ListRun sequential = list.run("seq", c.options, c.output);
        std::vector<std::string> parallelOptions{"--jobs", "3"};
        parallelOptions.insert(parallelOptions.end(), c.options.begin(), c.options.end());
        const ListRun parallel = list.run("par", parallelOptions, c.output);
        expectSameRun(parallel, sequential);
        EXPECT_GT(parallel.outputs.size(), 20u);
        if (c.output.empty()) {
            EXPECT_NE(parallel.result.err.find("tavrix: cannot write 'OUT/blocked.pdf'"),
                      std::string::npos);
        }
    }
}

TEST(ParallelList, ListsItCannotReproduceRunOneFileAfterAnother) {
    const struct {
        const char* what;
        const char* lines;
        std::vector<std::string> options;
        const char* output;
    } cases[] = {
        {"each output is the next line's input, in place", "a.pdf\na.pdf\na.pdf\n", {}, "-f."},
        {"a line reads an output not yet written", "long.pdf\nout.pdf\n", {}, "-oout.pdf"},
        {"a line's output replaces the import file the next line reads",
         "a.pdf\nb.pdf\n",
         {"--importit", "out/a.pdf"},
         "-fout"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::map<std::string, std::vector<std::string>> stamps[2];
        for (const int jobs : {1, 2}) {
            TempDir dir;
            writeFile(dir.file("a.pdf"), simpleDocument(2).build());
            writeFile(dir.file("b.pdf"), simpleDocument(2).build());
            // Long enough that a line run beside it starts before its output is there.
            writeFile(dir.file("long.pdf"), simpleDocument(1000).build());
            fs::create_directory(dir.file("out"));
            writeFile(dir.file("out/a.pdf"), "5");
            writeFile(dir.file("list.txt"), c.lines);
            std::vector<std::string> args{"--jobs", std::to_string(jobs)};
            args.insert(args.end(), c.options.begin(), c.options.end());
            args.insert(args.end(), {"list.txt", c.output});
            const fs::path cwd = fs::current_path();
            fs::current_path(dir.path());
            const CommandResult r = runTavrix(args);
            fs::current_path(cwd);
            ASSERT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.err, "");
            stamps[jobs - 1] = stampsBelow(dir.path());
        }
        EXPECT_EQ(stamps[1], stamps[0]);
    }
}

TEST(ParallelList, JobsTakesACountOrNone) {
    TempDir dir;
    writeFile(dir.file("a.pdf"), simpleDocument(1).build());
    writeFile(dir.file("list.txt"), dir.file("a.pdf") + "\n" + dir.file("a.pdf") + "\n");
    const std::string out = "-o" + dir.file("out.pdf");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--jobs", dir.file("list.txt"), out},
          {"--jobs=2", dir.file("list.txt"), out},
          {"--jobs", "0", dir.file("list.txt"), out}}) {
        const CommandResult r = runTavrix(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(stampsBelow(dir.path())["out.pdf"], std::vector<std::string>{"(Page 1 / 1)"});
    }
    const CommandResult bad = runTavrix({"--jobs=many", dir.file("list.txt"), out});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("--jobs needs a number"), std::string::npos);
}

} // namespace
