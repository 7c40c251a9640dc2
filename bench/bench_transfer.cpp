// ZMODEM download throughput over loopback: the demo BBS's sz through the Telnet engine,
// a transfer and rz, against sz piped straight into rz (the limit). Target: 80% of it.
//   bench_transfer [MEGABYTES]     (default 50; five runs each, taken in turns so that a
//                                   busy machine weighs on both alike; the best run of each
//                                   is what each can do, and the target is judged on those)

#include "tests/transfer/TransferHarness.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double Best(const std::vector<double> &v)
{
    return *std::max_element(v.begin(), v.end());
}

pid_t Run(const char *folder, std::vector<const char *> argv, int in, int out)
{
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in, 0);
        ::dup2(out, 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        if (::chdir(folder) == 0) ::execvp(argv[0], const_cast<char **>(argv.data()));
        ::_exit(127);
    }
    return pid;
}

// Seconds for sz in From to hand Name to rz in To, over two pipes.
double Direct(const QString &from, const QString &to, const char *name)
{
    int a[2], b[2];
    if (::pipe(a) != 0 || ::pipe(b) != 0) return -1;
    const auto start = Clock::now();
    const QByteArray f = from.toLocal8Bit(), t = to.toLocal8Bit();
    const pid_t sz = Run(f.constData(), {"sz", "--binary", "--quiet", name}, b[0], a[1]);
    const pid_t rz = Run(t.constData(), {"rz", "--binary", "--quiet", "--restricted"}, a[0], b[1]);
    for (int fd : {a[0], a[1], b[0], b[1]})
        ::close(fd);
    int s1 = 0, s2 = 0;
    ::waitpid(sz, &s1, 0);
    ::waitpid(rz, &s2, 0);
    return s1 == 0 && s2 == 0 ? std::chrono::duration<double>(Clock::now() - start).count() : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    TDemoBbs bbs;
    if (!bbs.Start()) {
        std::fprintf(stderr, "bench_transfer: the demo BBS did not start\n");
        return 1;
    }
    const std::string data = Bytes(size_t(megabytes) << 20, 7);
    WriteAll(bbs.Files + "/big.bin", data);
    const double mb = double(data.size()) / (1 << 20);

    TClient client;
    if (!client.Connect(bbs.Port) || !client.Login()) {
        std::fprintf(stderr, "bench_transfer: no login on the demo BBS\n");
        return 1;
    }
    std::vector<double> direct, ours;
    for (int run = 0; run < 5; ++run) {
        QTemporaryDir to;
        const double s = Direct(bbs.Files, to.path(), "big.bin");
        if (s <= 0 || ReadAll(to.filePath("big.bin")) != data) {
            std::fprintf(stderr, "bench_transfer: sz | rz failed\n");
            return 1;
        }
        direct.push_back(mb / s);

        client.Screen.clear();
        client.Forget();
        client.Type("D");
        client.See("File name:");
        client.Type("big.bin\r");
        client.WaitFor([&] { return client.Transfers().Running(); });
        const auto start = Clock::now();
        const bool done = client.WaitReturned();
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        const QString got = QString::fromStdString(client.Folder + "/big.bin");
        if (!done || !client.Result || client.Result->End != TTransferEnd::Done || ReadAll(got) != data) {
            std::fprintf(stderr, "bench_transfer: the download failed\n");
            return 1;
        }
        QFile::remove(got);
        ours.push_back(mb / t);
        client.See("Lobby>");
    }
    const double limit = Best(direct), got = Best(ours);
    std::printf("download of %d MB over loopback, five runs each (best, median)\n", megabytes);
    std::printf("  sz | rz piped directly:       %7.1f MB/s  %7.1f MB/s\n", limit, Median(direct));
    std::printf("  demo BBS -> winMarlet -> rz:  %7.1f MB/s  %7.1f MB/s\n", got, Median(ours));
    std::printf("  best against best: %.0f%% of the limit (target 80%%: %s)\n", 100 * got / limit,
                got >= 0.8 * limit ? "met" : "missed");
    return 0;
}
