// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>
#include <vector>

#include "converter/converter.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return pictrova::converter::ConverterMain(args);
}
