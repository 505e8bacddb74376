#pragma once
// Runs one peer (run_peer.js of the peers' benchmark folder, under /usr/bin/time)
// on n items and prints its line beside ours: work time, peak memory and output size.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// The peers' benchmark folder: --peers DIR, else $KIV_PEERS; empty when neither is
// given, and then the peers are not run.
inline std::string peersFolderOption(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--peers") == 0) return argv[i + 1];
    const char* env = std::getenv("KIV_PEERS");
    return env ? env : "";
}

// Returns the peer's work time in seconds, or -1 when it did not run.
inline double runPeer(const std::string& peersFolder, const std::string& peersDir, const std::string& peer, int n,
                      const std::string& templates, const std::string& out) {
    const std::string command = "PEERS_DIR='" + peersDir + "' /usr/bin/time -f '%M' node '" + peersFolder + "/run_peer.js' " +
                                peer + " " + std::to_string(n) + " '" + templates + "' '" + out + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string output;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
    // {"peer":..,"n":..,"load_ms":..,"work_ms":..,"out_bytes":..} then the peak RSS in kB.
    const size_t w = output.find("\"work_ms\":"), b = output.find("\"out_bytes\":"), close = output.rfind('}');
    if (w == std::string::npos || b == std::string::npos || close == std::string::npos) {
        std::printf("%-26s N = %4d: did not run\n", peer.c_str(), n);
        return -1;
    }
    const double work = std::atof(output.c_str() + w + 10) / 1000.0;
    std::printf("%-26s N = %4d: %7.3f s, peak %6.1f MB, output %8.1f kB (node process)\n", peer.c_str(), n, work,
                std::atof(output.c_str() + close + 1) / 1024.0, std::atof(output.c_str() + b + 12) / 1024.0);
    return work;
}
