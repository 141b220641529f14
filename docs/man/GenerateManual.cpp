// vorlix-generate-manual: makes a program's manual page and its --help text from one source, so
// that the two cannot say different things.
//
//   vorlix-generate-manual SOURCE VERSION PAGE HEADER
//
// writes the roff page to PAGE and, to HEADER, a C++ header defining kHelpText (what --help
// prints) and kVersion (VERSION, which --version prints and the page's footer shows).
//
// The source is a small subset of Markdown:
//   # name(1) -- summary          the first line: the page's name, section and summary
//   ## SECTION                    starts a section (SYNOPSIS, DESCRIPTION, OPTIONS ...)
//   * `term`                      an item: a term, and on the lines below it, indented by two
//     what the term does          spaces, what it means
//   ```                           a block shown as written, up to the next ``` line
// Any other run of lines is a paragraph; blank lines end blocks. Inline, `code` is bold and
// *word* italic on the page; --help shows both as plain text. In SYNOPSIS each line is a usage.
//
// --help holds the usage lines, the first paragraph of DESCRIPTION, and the whole of OPTIONS,
// ENVIRONMENT and EXIT STATUS under headings ("Options:"); the page holds everything.
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Block {
  enum Kind { kParagraph, kItem, kCode } kind;
  std::string term;                // an item's
  std::vector<std::string> lines;  // as written, without an item's indent
};

struct Section {
  std::string name;
  std::vector<Block> blocks;
};

struct Source {
  std::string name, section, summary;
  std::vector<Section> sections;
};

constexpr size_t kWidth = 79;      // of --help's lines
constexpr size_t kTermWidth = 16;  // of the term column of --help's items, before a gap of 2

[[noreturn]] void Die(const std::string& message) {
  std::cerr << "vorlix-generate-manual: " << message << '\n';
  exit(1);
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

Source Parse(std::istream& in, const std::string& path) {
  Source source;
  std::string line;
  size_t number = 0;
  auto fail = [&](const std::string& why) {
    Die(path + ":" + std::to_string(number) + ": " + why);
  };
  std::getline(in, line);
  ++number;
  const size_t open = line.find('('), close = line.find(')'), dash = line.find(" -- ");
  if (!StartsWith(line, "# ") || open == std::string::npos || close < open ||
      dash == std::string::npos || dash < close) {
    fail("the first line must be \"# name(section) -- summary\"");
  }
  source.name = line.substr(2, open - 2);
  source.section = line.substr(open + 1, close - open - 1);
  source.summary = line.substr(dash + 4);
  Block* block = nullptr;  // the block that the next line continues, if any
  while (std::getline(in, line)) {
    ++number;
    if (block && block->kind == Block::kCode) {
      if (line == "```") {
        block = nullptr;
      } else {
        block->lines.push_back(line);
      }
      continue;
    }
    if (line.empty()) {
      block = nullptr;
      continue;
    }
    if (StartsWith(line, "## ")) {
      source.sections.push_back({line.substr(3), {}});
      block = nullptr;
      continue;
    }
    if (source.sections.empty()) fail("text before the first section");
    std::vector<Block>& blocks = source.sections.back().blocks;
    if (line == "```") {
      block = &blocks.emplace_back(Block{Block::kCode, "", {}});
    } else if (StartsWith(line, "* ")) {
      block = &blocks.emplace_back(Block{Block::kItem, line.substr(2), {}});
    } else if (block && block->kind == Block::kItem) {
      if (!StartsWith(line, "  ")) fail("an item's text is indented by two spaces");
      block->lines.push_back(line.substr(2));
    } else if (block) {
      block->lines.push_back(line);
    } else {
      block = &blocks.emplace_back(Block{Block::kParagraph, "", {line}});
    }
  }
  if (block && block->kind == Block::kCode) fail("a ``` block is not closed");
  return source;
}

// c as roff text; a '-' in code is a minus sign, which a terminal shows as the ASCII one that
// a reader copies into a command line.
std::string RoffChar(char c, bool code) {
  if (c == '\\') return "\\e";
  if (c == '-' && code) return "\\-";
  return std::string(1, c);
}

// A line of text as roff reads it: one that starts with a dot or an apostrophe would otherwise
// be a request.
std::string RoffLine(const std::string& text) {
  return (!text.empty() && (text[0] == '.' || text[0] == '\'') ? "\\&" : "") + text + '\n';
}

// text shown as written: escaped, without fonts.
std::string Verbatim(const std::string& text) {
  std::string out;
  for (char c : text)
    out += RoffChar(c, true);
  return out;
}

// text with its inline marks: on the page as roff fonts, for --help taken away.
std::string Inline(const std::string& text, bool roff) {
  std::string out;
  bool code = false, italic = false;
  for (char c : text) {
    if (c == '`') {
      code = !code;
      if (roff) out += code ? "\\fB" : "\\fR";
    } else if (c == '*' && !code) {
      italic = !italic;
      if (roff) out += italic ? "\\fI" : "\\fR";
    } else {
      out += roff ? RoffChar(c, code) : std::string(1, c);
    }
  }
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += (text.empty() ? "" : " ") + line;
  return text;
}

// text's words filled into lines of at most kWidth, the first after first and the others after
// indent.
std::string Filled(const std::string& text, const std::string& first, const std::string& indent) {
  std::istringstream words(text);
  std::string out, line = first, word;
  bool empty = true;
  while (words >> word) {
    if (!empty && line.size() + 1 + word.size() > kWidth) {
      out += line + '\n';
      line = indent;
      empty = true;
    }
    line += (empty ? "" : " ") + word;
    empty = false;
  }
  return out + line + '\n';
}

std::string HelpBlocks(const std::vector<Block>& blocks) {
  std::string out;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const Block& block = blocks[i];
    switch (block.kind) {
      case Block::kParagraph:
        out += (i ? "\n" : "") + Filled(Inline(Joined(block.lines), false), "", "");
        break;
      case Block::kItem: {
        // Items run on without blank lines between them, as an option list does.
        if (i && blocks[i - 1].kind != Block::kItem) out += '\n';
        std::string term = "  " + Inline(block.term, false);
        const std::string indent(2 + kTermWidth + 2, ' ');
        if (term.size() > indent.size() - 2) {
          out += term + '\n';
          term.clear();
        }
        term.resize(indent.size(), ' ');
        out += Filled(Inline(Joined(block.lines), false), term, indent);
        break;
      }
      case Block::kCode:
        out += i ? "\n" : "";
        for (const std::string& line : block.lines)
          out += "    " + line + '\n';
        break;
    }
  }
  return out;
}

const Section* Find(const Source& source, const std::string& name) {
  for (const Section& section : source.sections)
    if (section.name == name) return &section;
  return nullptr;
}

std::string HelpText(const Source& source) {
  const Section* synopsis = Find(source, "SYNOPSIS");
  const Section* description = Find(source, "DESCRIPTION");
  if (!synopsis || synopsis->blocks.empty() || !description || description->blocks.empty() ||
      description->blocks[0].kind != Block::kParagraph) {
    Die(source.name + ": a page needs a SYNOPSIS and a DESCRIPTION that opens with a paragraph");
  }
  std::string out;
  const char* lead = "Usage: ";
  for (const Block& block : synopsis->blocks) {
    for (const std::string& line : block.lines) {
      out += lead + Inline(line, false) + '\n';
      lead = "       ";
    }
  }
  out += '\n' + HelpBlocks({description->blocks[0]});
  for (const char* name : {"OPTIONS", "ENVIRONMENT", "EXIT STATUS"}) {
    const Section* section = Find(source, name);
    if (!section) continue;
    // "EXIT STATUS" as the heading "Exit status:".
    std::string heading = section->name;
    for (size_t i = 1; i < heading.size(); ++i)
      heading[i] = static_cast<char>(tolower(static_cast<unsigned char>(heading[i])));
    out += '\n' + heading + ":\n" + HelpBlocks(section->blocks);
  }
  return out;
}

std::string Upper(std::string text) {
  for (char& c : text)
    c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Page(const Source& source, const std::string& file, const std::string& version) {
  std::string out = ".\\\" Generated from " + file + " by vorlix-generate-manual; edit that.\n";
  out += ".TH " + Verbatim(Upper(source.name)) + " " + source.section + " \"\" \"Vorlix " +
         version + "\" \"User Commands\"\n";
  out += ".SH NAME\n" + RoffLine(Verbatim(source.name) + " \\- " + Inline(source.summary, true));
  for (const Section& section : source.sections) {
    out += ".SH \"" + section.name + "\"\n";
    if (section.name == "SYNOPSIS") {
      out += ".nf\n";
      for (const Block& block : section.blocks)
        for (const std::string& line : block.lines)
          out += RoffLine(Inline(line, true));
      out += ".fi\n";
      continue;
    }
    for (const Block& block : section.blocks) {
      switch (block.kind) {
        case Block::kParagraph:
          out += ".PP\n";
          break;
        case Block::kItem:
          out += ".TP\n" + RoffLine(Inline(block.term, true));
          break;
        case Block::kCode:
          out += ".PP\n.RS 4\n.nf\n";
          break;
      }
      for (const std::string& line : block.lines)
        out += RoffLine(block.kind == Block::kCode ? Verbatim(line) : Inline(line, true));
      if (block.kind == Block::kCode) out += ".fi\n.RE\n";
    }
  }
  return out;
}

// text as a C++ string literal, a line of the text per line of the literal.
std::string Literal(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n\"\n    \"";
      continue;
    }
    out += c;
  }
  return out + '"';
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!(out << text) || !out.flush()) Die("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) Die("usage: vorlix-generate-manual SOURCE VERSION PAGE HEADER");
  std::ifstream in(argv[1]);
  if (!in) Die(std::string("cannot read ") + argv[1]);
  const Source source = Parse(in, argv[1]);
  const std::string version = argv[2];
  // The source's name alone: the generated files do not depend on where the tree is.
  const std::string file = std::string(argv[1]).substr(std::string(argv[1]).rfind('/') + 1);
  Write(argv[3], Page(source, file, version));
  Write(argv[4], "// Generated from " + file +
                     " by vorlix-generate-manual; edit that.\n#pragma once\n\n"
                     "// What --help prints.\ninline constexpr char kHelpText[] =\n    " +
                     Literal(HelpText(source)) +
                     ";\n\n// What --version prints after the program's name.\n"
                     "inline constexpr char kVersion[] = " +
                     Literal(version) + ";\n");
  return 0;
}
