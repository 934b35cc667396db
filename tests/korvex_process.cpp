// The korvex program as a test's child process.
#include "korvex_process.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

pid_t start_korvex(const std::vector<std::string>& args, const std::string& output) {
    std::vector<std::string> all{KORVEX_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string to = output.empty() ? "/dev/null" : output;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, to.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    return rc == 0 ? pid : -1;
}

int wait_korvex(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}
