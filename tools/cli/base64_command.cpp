// The base64 command: blocks of input through the module's encoder with lines laid out
// here, and text checked whole before any of it is decoded by the module.
#include "cli/base64_command.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "cli/base64_text_check.h"
#include "cli/option_scanner.h"
#include "cli/base64_blocks.h"
#include "cli/system.h"
#include "cli/text.h"
#include "telvarn.h"

namespace telvarn::cli {
namespace {

// Bytes encoded per call: a multiple of 3 (whole groups) and of 54 (whole module
// lines), so that the blocks' texts joined are the text of the whole input.
constexpr size_t kEncodeBlock = 54u * 16384u;
// Text decoded per call, and what is held in memory before a stream that has to be
// read twice goes to a temporary file.
constexpr size_t kDecodeBlock = 4u << 20;
constexpr size_t kSpoolInMemory = 16u << 20;

struct Base64Options {
  bool decode = false;
  bool ignore_garbage = false;
  bool progress = false;
  uint64_t columns = 76;
  bool crlf = false;
  bool module_lines = false;
  std::vector<std::string> files;
};

void PrintBase64Help(Console& console) {
  console.out().Write(
      "usage: telvarn base64 [encode] [-w COLS] [--crlf | --module-lines] [FILE]\n"
      "       telvarn base64 decode [FILE]    (or: telvarn base64 -d [FILE])\n"
      "Base64 encode or decode FILE, or standard input when FILE is - or absent, to\n"
      "standard output, in bounded memory, through " TELVARN_MODULE_NAME ".\n\n"
      "  -d, --decode          decode; the text must be RFC 4648 Base64 (its alphabet,\n"
      "                        '=' padding to a whole group, line breaks of LF or CR LF),\n"
      "                        or nothing is written and the exit status is 1\n"
      "  -i, --ignore-garbage  when decoding, drop every byte outside the alphabet and '='\n"
      "  -w, --wrap=COLS       break encoded lines after COLS characters (default 76);\n"
      "                        0, or a number too large for any count, writes one line\n"
      "                        without a line end, as GNU base64 does\n"
      "      --crlf            end encoded lines with CR LF instead of LF\n"
      "      --module-lines    the module's own layout, byte for byte: lines of 72\n"
      "                        characters, each ending in CR LF, and one more CR LF at\n"
      "                        the end when the input is a multiple of 54 bytes\n"
      "      --progress        show on standard error the bytes read, the total where\n"
      "                        known and the rate (not while the text goes to a terminal)\n"
      "  -h, --help            show this help\n"
      "      --version         show the versions of telvarn and of the module\n"
      "      --                end of options\n\n"
      "Exit status: 0 done; 1 a file could not be read or the text is not Base64;\n"
      "2 a usage error or a failed write.\n");
}

enum Base64OptionId { kDecode, kIgnoreGarbage, kWrap, kCrlf, kModuleLines, kProgress, kHelp, kVersion };

constexpr OptionForm kBase64Options[] = {
    {"decode", 'd', OptionArgument::kNone, kDecode},
    {"ignore-garbage", 'i', OptionArgument::kNone, kIgnoreGarbage},
    {"wrap", 'w', OptionArgument::kRequired, kWrap},
    {"crlf", '\0', OptionArgument::kNone, kCrlf},
    {"module-lines", '\0', OptionArgument::kNone, kModuleLines},
    {"progress", '\0', OptionArgument::kNone, kProgress},
    {"help", 'h', OptionArgument::kNone, kHelp},
    {"version", '\0', OptionArgument::kNone, kVersion},
};

// A wrap width as GNU base64 reads it: decimal digits after optional blanks and a
// '+'. A width too large for any count means no wrapping, as 0 does.
bool ParseWrapColumns(const std::string& value, uint64_t& columns) {
  size_t i = value.find_first_not_of(" \t\n\v\f\r");
  if (i == std::string::npos) return false;
  if (value[i] == '+') ++i;
  if (i == value.size() || value.find_first_not_of("0123456789", i) != std::string::npos) return false;
  columns = 0;
  for (; i < value.size(); ++i) {
    const uint64_t digit = static_cast<uint64_t>(value[i] - '0');
    if (columns > (UINT64_MAX - digit) / 10) {
      columns = 0;
      return true;
    }
    columns = columns * 10 + digit;
  }
  return true;
}

int ParseBase64Options(Console& console, const Arguments& args, const PatternArguments& patterns,
                       Base64Options& options) {
  ScannedArguments scanned;
  std::string error;
  if (!ScanOptions(args, kBase64Options, scanned, error)) return console.UsageError("base64", error);
  ExpandOperandPatterns(scanned, patterns, MatchFilePattern);
  for (const ScannedOption& option : scanned.options) {
    switch (option.id) {
      case kDecode: options.decode = true; break;
      case kIgnoreGarbage: options.ignore_garbage = true; break;
      case kWrap:
        if (!ParseWrapColumns(option.value, options.columns)) {
          console.Error("invalid wrap size: " + QuoteAlways(option.value));
          return console.Finish(kExitError);
        }
        break;
      case kCrlf: options.crlf = true; break;
      case kModuleLines: options.module_lines = true; break;
      case kProgress: options.progress = true; break;
      case kHelp:
        PrintBase64Help(console);
        return console.Finish(kExitOk);
      default:
        return PrintVersion(console);
    }
  }
  options.files = scanned.operands;
  // "encode" or "decode" first names the direction (-d says it too); after "--" it
  // is a file's name.
  if (scanned.operands_before_separator > 0 && (options.files[0] == "encode" || options.files[0] == "decode")) {
    options.decode = options.decode || options.files[0] == "decode";
    options.files.erase(options.files.begin());
  }
  if (options.files.size() > 1) {
    return console.UsageError("base64", "extra operand " + QuoteName(options.files[1]));
  }
  if (options.decode && (options.crlf || options.module_lines)) {
    return console.UsageError("base64", "--crlf and --module-lines are for encoding");
  }
  if (options.crlf && options.module_lines) {
    return console.UsageError("base64", "--crlf and --module-lines do not go together");
  }
  return -1;
}

// The bytes read of one input, shown on the progress line when asked for. Encoded
// or decoded text on a terminal would run into the line: there it is not shown.
class ReadProgress {
 public:
  ReadProgress(Console& console, bool wanted)
      : line_(console.err(), wanted && !console.out().interactive()), attached_(console, line_) {}

  void Start(const std::string& label, int64_t total) {
    done_.store(0, std::memory_order_relaxed);
    line_.Show(label, [this, total](uint64_t& done, int64_t& all, std::string&) {
      done = done_.load(std::memory_order_relaxed);
      all = total;
      return true;
    });
  }
  void Add(int64_t count) {
    if (count > 0) done_.fetch_add(static_cast<uint64_t>(count), std::memory_order_relaxed);
  }
  void Stop() { line_.Clear(); }

 private:
  ProgressLine line_;
  AttachedProgress attached_;
  std::atomic<uint64_t> done_{0};
};

std::string ProgressLabel(const std::string& name) { return name == "-" ? "standard input" : QuoteName(name); }

int64_t KnownSize(const std::string& name, const InputFile& input) {
  return name != "-" && input.regular() ? static_cast<int64_t>(input.size()) : -1;
}

// A file that could not be opened or read: its reason, and the exit code.
int InputFailed(Console& console, const std::string& name, const InputFile& input) {
  console.Error(QuoteName(name) + ": " + input.error());
  return console.Finish(kExitFailure);
}

bool OpenInput(const std::string& name, InputFile& input) {
  if (name == "-") {
    input.OpenStandardInput();
    return true;
  }
  return input.Open(name);
}

int Encode(Console& console, const ModuleExports& exports, const Base64Options& options, const std::string& name) {
  InputFile input;
  if (!OpenInput(name, input)) return InputFailed(console, name, input);
  ReadProgress progress(console, options.progress);
  progress.Start(ProgressLabel(name), KnownSize(name, input));
  std::unique_ptr<char[]> bytes(new char[kEncodeBlock]);
  // One-line text of a block, or its module lines: 4 characters per 3 bytes, a CR LF
  // per 54 bytes and one more, and the NUL.
  std::vector<char> text(kEncodeBlock / 3 * 4 + 2 * (kEncodeBlock / 54 + 1) + 1);
  std::vector<char> laid_out;
  LineLayout layout(options.columns, options.crlf);
  for (;;) {
    const int64_t got = input.ReadFull(bytes.get(), kEncodeBlock);
    if (got < 0) return InputFailed(console, name, input);
    progress.Add(got);
    const auto count = static_cast<uint32_t>(got);
    const bool last = count < kEncodeBlock;
    if (options.module_lines) {
      // Each call ends its text with an extra CR LF, which only the last keeps: the
      // module's text of the whole input has it once, at its end.
      size_t length = 2;
      if (count == 0) {
        // Length 0 would mean "up to the NUL": the module's text of no bytes is the
        // line end alone.
        text[0] = '\r';
        text[1] = '\n';
      } else {
        const int32_t result = exports.base64_encode(text.data(), bytes.get(), count, TELVARN_BASE64_LINES);
        length = static_cast<size_t>(-static_cast<int64_t>(result));
        if (!last) length -= 2;
      }
      console.out().WriteBinary(text.data(), length);
    } else if (count > 0) {
      const int32_t result = exports.base64_encode(text.data(), bytes.get(), count, TELVARN_BASE64_ONE_LINE);
      layout.Add(text.data(), static_cast<size_t>(-static_cast<int64_t>(result)), laid_out);
      console.out().WriteBinary(laid_out.data(), laid_out.size());
    }
    if (last || console.out().failed()) break;
  }
  progress.Stop();
  if (!options.module_lines) {
    const std::string end = layout.Close();
    console.out().WriteBinary(end.data(), end.size());
  }
  return console.Finish(kExitOk);
}

// Decoded bytes that wait until the whole text has been checked: in memory up to a
// bound, then in a temporary file.
class DecodedSpool {
 public:
  bool Add(const char* bytes, size_t count) {
    if (file_ == nullptr && memory_.size() + count > kSpoolInMemory) {
      file_ = std::make_unique<SpoolFile>();
      if (!file_->Create() || !file_->Write(memory_.data(), memory_.size())) return false;
      memory_.clear();
      memory_.shrink_to_fit();
    }
    if (file_ != nullptr) return file_->Write(bytes, count);
    memory_.insert(memory_.end(), bytes, bytes + count);
    return true;
  }

  bool CopyTo(OutputStream& out) {
    if (file_ == nullptr) {
      out.WriteBinary(memory_.data(), memory_.size());
      return true;
    }
    if (!file_->Rewind()) return false;
    std::unique_ptr<char[]> block(new char[kDecodeBlock]);
    for (;;) {
      const int64_t got = file_->Read(block.get(), kDecodeBlock);
      if (got < 0) return false;
      if (got == 0 || out.failed()) return true;
      out.WriteBinary(block.get(), static_cast<size_t>(got));
    }
  }

  std::string error() const { return file_ != nullptr ? file_->error() : std::string(); }

 private:
  std::vector<char> memory_;
  std::unique_ptr<SpoolFile> file_;
};

int InvalidText(Console& console, const std::string& name, Base64Validator& validator) {
  validator.End();
  console.Error(QuoteName(name) + ": invalid input: " + validator.error());
  return console.Finish(kExitFailure);
}

// A regular file is checked whole first, then read again and decoded straight out.
int DecodeFile(Console& console, const ModuleExports& exports, InputFile& input, const std::string& name,
               bool ignore_garbage, ReadProgress& progress) {
  Base64Validator validator;
  progress.Start(ProgressLabel(name) + " (checked)", KnownSize(name, input));
  {
    std::unique_ptr<char[]> block(new char[kDecodeBlock]);
    for (;;) {
      const int64_t got = input.ReadFull(block.get(), kDecodeBlock);
      if (got < 0) return InputFailed(console, name, input);
      if (got == 0) break;
      progress.Add(got);
      size_t count = static_cast<size_t>(got);
      if (ignore_garbage) count = KeepBase64Only(block.get(), count);
      if (!validator.Feed(block.get(), count)) return InvalidText(console, name, validator);
    }
  }
  if (!validator.End()) return InvalidText(console, name, validator);
  InputFile again;
  if (!again.Open(name)) return InputFailed(console, name, again);
  progress.Start(ProgressLabel(name), KnownSize(name, again));
  BlockDecoder decoder(exports, kDecodeBlock);
  for (;;) {
    const int64_t got = again.ReadFull(decoder.room(), kDecodeBlock);
    if (got < 0) return InputFailed(console, name, again);
    progress.Add(got);
    size_t received = static_cast<size_t>(got);
    if (ignore_garbage) received = KeepBase64Only(decoder.room(), received);
    const char* bytes = nullptr;
    size_t count = 0;
    decoder.Decode(received, bytes, count);
    console.out().WriteBinary(bytes, count);
    if (got == 0 || console.out().failed()) break;
  }
  progress.Stop();
  return console.Finish(kExitOk);
}

// A stream is checked and decoded block by block; its bytes are held back until
// the end of the text has been checked too.
int DecodeStream(Console& console, const ModuleExports& exports, InputFile& input, const std::string& name,
                 bool ignore_garbage, ReadProgress& progress) {
  progress.Start(ProgressLabel(name), KnownSize(name, input));
  Base64Validator validator;
  BlockDecoder decoder(exports, kDecodeBlock);
  DecodedSpool spool;
  for (;;) {
    const int64_t got = input.ReadFull(decoder.room(), kDecodeBlock);
    if (got < 0) return InputFailed(console, name, input);
    if (got == 0) break;
    progress.Add(got);
    size_t received = static_cast<size_t>(got);
    if (ignore_garbage) received = KeepBase64Only(decoder.room(), received);
    if (!validator.Feed(decoder.room(), received)) return InvalidText(console, name, validator);
    const char* bytes = nullptr;
    size_t count = 0;
    decoder.Decode(received, bytes, count);
    if (!spool.Add(bytes, count)) {
      console.Error("cannot hold the decoded bytes: " + spool.error());
      return console.Finish(kExitError);
    }
  }
  if (!validator.End()) return InvalidText(console, name, validator);
  progress.Stop();
  if (!spool.CopyTo(console.out())) {
    console.Error("cannot read the decoded bytes back: " + spool.error());
    return console.Finish(kExitError);
  }
  return console.Finish(kExitOk);
}

int Decode(Console& console, const ModuleExports& exports, const Base64Options& options, const std::string& name) {
  InputFile input;
  if (!OpenInput(name, input)) return InputFailed(console, name, input);
  ReadProgress progress(console, options.progress);
  if (name != "-" && input.regular()) {
    return DecodeFile(console, exports, input, name, options.ignore_garbage, progress);
  }
  return DecodeStream(console, exports, input, name, options.ignore_garbage, progress);
}

}  // namespace

int RunBase64Command(Console& console, const ModuleExports& exports, const Arguments& args,
                     const PatternArguments& patterns) {
  Base64Options options;
  const int parsed = ParseBase64Options(console, args, patterns, options);
  if (parsed >= 0) return parsed;
  const std::string name = options.files.empty() ? "-" : options.files[0];
  return options.decode ? Decode(console, exports, options, name) : Encode(console, exports, options, name);
}

}  // namespace telvarn::cli
