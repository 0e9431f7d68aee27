#include "export/console_report.h"

#include <ostream>
#include <set>

#include "modelfiles/number_text.h"

namespace veldra::out {

std::string command_line_error(const std::string& reason) { return "veldra_export: " + reason + "; see --help\n"; }

std::string unknown_variable_reason(const std::string& name, const std::vector<files::OutputEntry>& listed) {
    std::string text = "the model lists no variable named " + name;
    if (listed.empty()) return text + "; it lists none";
    text += "; it lists ";
    for (std::size_t i = 0; i < listed.size(); ++i) text += (i ? ", " : "") + listed[i].FileName;
    return text;
}

std::string run_summary(std::int64_t files, std::int64_t bytes, double seconds) {
    return "veldra_export: wrote " + std::to_string(files) + (files == 1 ? " file, " : " files, ") +
           std::to_string(bytes) + " bytes in " + files::fixed_number(seconds, 2) + " seconds";
}

// Passes everything on; remembers where each file was put in place.
class ConsoleReport::CountingFiles : public files::FileAccess {
public:
    explicit CountingFiles(FileAccess& inner) : inner_(inner) {}
    std::unique_ptr<files::InputFile> open_input(const std::string& path) override { return inner_.open_input(path); }
    std::unique_ptr<files::OutputFile> create_temporary(const std::string& final_path) override {
        return inner_.create_temporary(final_path);
    }
    void rename(const std::string& from, const std::string& to) override {
        inner_.rename(from, to);
        placed_.insert(to);
    }
    void remove(const std::string& path) override {
        inner_.remove(path);
        placed_.erase(path);
    }
    std::int64_t files() const { return static_cast<std::int64_t>(placed_.size()); }
    std::int64_t bytes() {
        std::int64_t total = 0;
        for (const std::string& path : placed_) {
            try {
                total += inner_.open_input(path)->size();
            } catch (const files::ModelFileError&) {
                // Gone since: it is not counted.
            }
        }
        return total;
    }

private:
    FileAccess& inner_;
    std::set<std::string> placed_;
};

ConsoleReport::ConsoleReport(std::ostream& err, bool quiet, std::int64_t months)
    : err_(err), quiet_(quiet), months_(months), start_(std::chrono::steady_clock::now()) {}

ConsoleReport::~ConsoleReport() = default;

ExportProgress ConsoleReport::progress() {
    return [this](ExportNote note, const std::string& text) {
        if (note == ExportNote::message) {
            err_ << "veldra_export: " << text << "\n";
        } else if (text.rfind("Saving: ", 0) == 0) {
            ++saved_;
            if (!quiet_) err_ << "[" << saved_ << " of " << months_ << "] " << text << "\n";
        } else if (!quiet_ && text.rfind("Making", 0) == 0) {
            err_ << text << "\n";
        }
        return true;
    };
}

files::FileAccess& ConsoleReport::files(files::FileAccess& inner) {
    counting_ = std::make_unique<CountingFiles>(inner);
    return *counting_;
}

void ConsoleReport::finish() {
    if (quiet_) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    err_ << run_summary(counting_ ? counting_->files() : 0, counting_ ? counting_->bytes() : 0, seconds) << "\n";
}

}  // namespace veldra::out
