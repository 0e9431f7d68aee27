#include <iostream>
#include <string>
#include <vector>

#include "export/layer_export.h"
#include "modelfiles/file_io.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    veldra::files::install_interrupt_cleanup();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return veldra::out::run_layer_exporter(args, std::cout, std::cerr);
}
