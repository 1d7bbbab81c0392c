// Heartbeat from C++: set the control file's modification time to now every
// few seconds, and leave when its first line asks for a restart (wdog then
// starts the program again). The file is HEARTBEAT_FILE, or heartbeat.ctl in
// the working directory, which wdog's child inherits.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main()
{
    const char* env = std::getenv("HEARTBEAT_FILE");
    const std::filesystem::path path = env ? env : "heartbeat.ctl";
    for (;;) {
        std::ofstream(path, std::ios::app).close(); // create it if needed
        std::error_code error;
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now(), error);

        std::string line;
        std::ifstream control(path);
        std::getline(control, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line == "restart")
            return 0;
        std::this_thread::sleep_for(std::chrono::seconds(2));
    }
}
