// plomet: prints the outline of each JSON (or JSON-like) input.
#include <exception>
#include <new>
#include <string>
#include <unistd.h>
#include <variant>

#include "cli/console.h"
#include "cli/options.h"
#include "cli/outline_session.h"

#ifndef PLOMET_VERSION
#define PLOMET_VERSION "0.0.0"
#endif

namespace {

// The status of a fault that is the program's, not the input's (sysexits'
// EX_SOFTWARE).
constexpr int kExitInternalFault = 70;

int run(const plomet::cli::Options& options) {
  using namespace plomet::cli;
  install_signal_handlers();
  Output output;
  OutlineSession session(options, output, ::isatty(STDERR_FILENO) == 1);
  try {
    for (const std::string& input : options.inputs) session.run_input(input);
    session.finish();
  } catch (const std::bad_alloc&) {
    output.flush();
    write_stderr("plomet: out of memory\n");
    return kExitUnusable;
  } catch (const std::exception& fault) {
    output.flush();
    write_stderr(std::string("plomet: internal error: ") + fault.what() + "\n");
    return kExitInternalFault;
  }
  output.flush();
  return session.exit_status();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace plomet::cli;
  Command command = parse_command_line(argc, argv);
  if (const auto* error = std::get_if<UsageError>(&command)) {
    write_stderr("plomet: " + error->message + "\nTry 'plomet --help' for the options.\n");
    return kExitUnusable;
  }
  if (std::holds_alternative<ShowHelp>(command) || std::holds_alternative<ShowVersion>(command)) {
    Output output;
    output.write(std::holds_alternative<ShowHelp>(command) ? help_text() : std::string("plomet " PLOMET_VERSION "\n"));
    output.flush();
    return kExitOk;
  }
  return run(std::get<Options>(command));
}
