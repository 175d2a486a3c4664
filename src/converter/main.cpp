// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>
#include <string>
#include <vector>

#include "converter/converter.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "pictrova-convert " PICTROVA_VERSION << std::endl;
        return 0;
    }
    return pictrova::converter::ConverterMain(args);
}
