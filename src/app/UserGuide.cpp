#include "app/UserGuide.h"

#include "platform/Files.h"

std::string UserGuidePath(const std::string& progDir, bool english) {
    std::string dir = progDir;
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    const std::string docs = platform::DirName(dir) + "/share/doc/velquin/";
    const std::string installed = docs + "TWVelquin.html";
    if (english) {
        for (const std::string& path :
             {docs + "TWVelquin.en.html", dir + "/Help/TWVelquin.en.html"}) {
            if (platform::IsRegularFile(path)) {
                return path;
            }
        }
    }
    for (const std::string& path : {installed, dir + "/Help/TWVelquin.html",
                                    dir + "/Help/TWVelquin.MHT", docs + "TWVelquin.MHT"}) {
        if (platform::IsRegularFile(path)) {
            return path;
        }
    }
    return installed;
}
