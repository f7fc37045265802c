#include <system_error>

#include "common/cpus.h"
#include "common/interrupt.h"
#include "front/console.h"
#include "front/front.h"

std::string unquoted(const std::string& answer, NameBytes bytes) {
  if (answer.size() < 2 || answer.front() != answer.back()) return answer;
  if (answer.front() != '"' && answer.front() != '\'') return answer;
  std::error_code ec;
  if (std::filesystem::exists(native_name(answer, bytes), ec)) return answer;
  return answer.substr(1, answer.size() - 2);
}

void read_file_name(std::istream& in, std::ostream& console, const char* prompt,
                    std::string* name) {
  console << prompt << std::flush;
  name->clear();
  if (!std::getline(in, *name)) return;
  bool ended_by_newline = !in.eof();
  if (ended_by_newline && !name->empty() && name->back() == '\r') name->pop_back();
  *name = unquoted(*name, NameBytes::kCodePage);
}

int run_converter(std::istream& in, std::ostream& console, std::ostream& diag,
                  const DialogueOptions& options) {
  const bool console_answers = options.console_answers;
  console << "Quarnex MDX -> OBJ File Converter" << std::endl;
  const NameBytes bytes = console_answers ? NameBytes::kUtf8 : NameBytes::kCodePage;
  Conversion job;
  for (FileName* name : {&job.model, &job.obj}) {
    const char* prompt = name == &job.model ? "Enter MDX Filename: " : "Enter OBJ Filename: ";
    if (console_answers) {
      console << prompt << std::flush;
      if (read_console_line(&name->shown)) name->shown = unquoted(name->shown, bytes);
    } else {
      read_file_name(in, console, prompt, &name->shown);
    }
    name->path = native_name(name->shown, bytes);
  }
  Settings settings;
  settings.format_threads = format_threads();
  if (options.catch_signals) catch_interruptions();
  const Converted done = convert_model(settings, job, console, console);
  if (done.stopped) {
    console << std::flush;
    diag << "mdx2obj: interrupted" << std::endl;
  } else if (!done.ok && (!done.open_failed || options.tell_open_failure)) {
    tell_failure(diag, done.failure.name, done.failure.why);
  }
  return done.ok ? kExitSuccess : kExitFailure;
}
