// trevanix-cli list against the sqlite3 shell and the C API on the same main table, in one run:
// a 30-day search and no search, each command a process of its own, with its time and peak
// memory (the child's ru_maxrss). The children are forked from a freshly started copy of this
// program, so that the pages of the process that stored the rows do not count as theirs.
// Usage: bench_cli [rows] [--out-of-order]   (default 100000 rows stored in date order;
// --out-of-order stores them scattered)

#include "query/ResultQuery.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "BenchSupport.h"

using namespace bench;

namespace {

struct ChildRun {
    double ms = 0;
    long peakKb = 0;
    long lines = 0;
    bool ok = false;
};

// Runs the program with TREVANIX_HOME set, counting the lines it prints; the time until it has
// exited and its peak resident size.
ChildRun RunChild(const std::vector<std::string>& args, const QString& home) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int out[2];
    ChildRun run;
    if (pipe(out) != 0)
        return run;
    const QByteArray homeBytes = QFile::encodeName(home);
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("TREVANIX_HOME", homeBytes.constData(), 1);
        dup2(out[1], 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(out[0]);
        close(out[1]);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    char buf[65536];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            run.lines += buf[i] == '\n';
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.ms = Ms(t0, Clock::now());
    run.peakKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// Best time and largest peak of a few runs.
ChildRun BestOf(int rounds, const std::vector<std::string>& args, const QString& home) {
    ChildRun best;
    best.ms = 1e18;
    for (int i = 0; i < rounds; ++i) {
        const ChildRun r = RunChild(args, home);
        best.ok = r.ok;
        best.lines = r.lines;
        best.ms = std::min(best.ms, r.ms);
        best.peakKb = std::max(best.peakKb, r.peakKb);
    }
    return best;
}

// Runs in a process of its own, started afresh (see main): a forked child's peak resident size
// counts the parent's pages at the fork, so the children are forked from a small process, and
// the C API runs after them.
void CommandLineSection(const QString& home, int rounds) {
    const QDate newest = BenchNewestDay();
    const QDate from = newest.addDays(-29);
    const std::string where = "DATE between '" + DateKey(from) + "' and '" + DateKey(newest) + "'";
    const QString path = home + "/" + kDefaultUser;
    const std::string file = QFile::encodeName(path).toStdString();
    const std::string columns = "DATE, TIME, HbA1c_VALUE, PID, OPID, p_NAME, p_DOB, P_DIAGNOSE, "
                                "P_MEMO, EQ_TYPE";
    const ChildRun startup = BestOf(rounds, {TREVANIX_CLI_PATH, "--version"}, home);
    std::printf("  trevanix-cli --version (start-up alone)   : %8.1f ms, peak %6.1f MB\n",
                startup.ms, startup.peakKb / 1024.0);
    struct Case {
        const char* name;
        std::vector<std::string> cli;
        std::string where;
        ChildRun cliRun, shellRun;
    };
    Case cases[] = {
        {"30-day search",
         {TREVANIX_CLI_PATH, "list", "--from", from.toString(Qt::ISODate).toStdString(), "--to",
          newest.toString(Qt::ISODate).toStdString()},
         where,
         {},
         {}},
        {"no search   ", {TREVANIX_CLI_PATH, "list"}, "", {}, {}},
    };
    for (Case& c : cases) {
        const std::string sql = "SELECT " + columns + " FROM HospitalTlb" +
                                (c.where.empty() ? "" : " WHERE " + c.where) + " ORDER BY " +
                                kDefaultSort;
        c.cliRun = BestOf(rounds, c.cli, home);
        c.shellRun =
            BestOf(rounds, {"sqlite3", "-readonly", "-batch", "-separator", "\t", file, sql}, home);
    }
    sqlite3* raw = OpenReadOnly(path);
    for (const Case& c : cases) {
        double api = 1e18;
        int apiRows = 0;
        for (int i = 0; i < rounds; ++i)
            api = std::min(api, RawSelect(raw, c.where, kDefaultSort, &apiRows));
        const ChildRun &cli = c.cliRun, &shell = c.shellRun;
        std::printf("  list, %s: trevanix-cli %8.1f ms, peak %6.1f MB (%ld lines%s) | "
                    "sqlite3 shell %8.1f ms, peak %6.1f MB (%ld lines) | C API %8.1f ms (%d "
                    "rows) | cli/shell %.2fx\n",
                    c.name, cli.ms, cli.peakKb / 1024.0, cli.lines, cli.ok ? "" : ", FAILED",
                    shell.ms, shell.peakKb / 1024.0, shell.lines, api, apiRows, cli.ms / shell.ms);
    }
    sqlite3_close(raw);
}

// This program again, measuring the command line over the files in home.
void MeasureCommandLine(const QString& home) {
    std::fflush(stdout);
    const QByteArray folder = QFile::encodeName(home);
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/proc/self/exe", "bench_cli", "--measure-cli", folder.constData(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--measure-cli") {
        CommandLineSection(QFile::decodeName(argv[2]), 3);
        return 0;
    }
    QTemporaryDir tmp;
    BenchEnvironment(tmp.filePath("config"));
    QCoreApplication app(argc, argv);
    const BenchArgs args = ParseBenchArgs(argc, argv);
    QuietPrompt prompt;
    CResultDatabases db(tmp.path(), &prompt);
    db.OpenDatabases();
    StoreClinicRows(db.ResultTable, args.rows, args.outOfOrder);
    std::printf("%d rows in the main table%s (best of 3)\n", args.rows,
                args.outOfOrder ? ", stored out of date order" : "");
    MeasureCommandLine(db.BaseFolder());
    return 0;
}
