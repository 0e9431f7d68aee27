// make_sample_model: writes the sample model (tools/sample_model.h) into a
// model folder.
//
//   make_sample_model <model folder> <land mask file>

#include <exception>
#include <iostream>
#include <string>

#include "modelfiles/file_io.h"
#include "tools/sample_model.h"

namespace {

using namespace veldra::sample;

int run(const std::string& folder, const std::string& mask_path) {
    const SampleModel model(parse_land_mask(veldra::files::read_text_file(mask_path), mask_path));
    const Census& c = model.census();
    std::cout << "make_sample_model: " + std::to_string(c.land) + " land cells; left out " +
                     std::to_string(c.antarctica) + " in Antarctica, " + std::to_string(c.greenland) +
                     " in Greenland, " + std::to_string(c.cold) + " too cold, " + std::to_string(c.desert) +
                     " desert\n";
    if (c.rangeland == 0 || c.rangeland > kMaxCells) {
        std::cerr << "make_sample_model: " + std::to_string(c.rangeland) + " rangeland cells, expected 1 to " +
                         std::to_string(kMaxCells) + "\n";
        return 1;
    }
    model.write(folder);
    std::cout << "make_sample_model: " + std::to_string(c.rangeland) + " rangeland cells, years " +
                     std::to_string(kFirstYear) + "-" + std::to_string(kLastYear) + ", written to " + folder + "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_sample_model <model folder> <land mask file>\n"
                     "  Writes a sample Veldra model (Parms/ and Output/) into <model folder>,\n"
                     "  taking land and water from <land mask file> (360 lines of 720 T/F).\n";
        return 2;
    }
    try {
        return run(argv[1], argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "make_sample_model: " << e.what() << "\n";
        return 1;
    }
}
