#include "GridTemplateParser.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <set>
#include <vector>

#include "GridText.h"

namespace {

using Doc = GridDocument;

constexpr std::string_view kMagic = "tillora-grid";
constexpr std::string_view kVersion = "1";

struct Token {
  std::string text;
  bool quoted = false;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted text starting after its opening quote; pos ends after the
// closing quote.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out, std::string& error) {
  while (pos < line.size()) {
    char c = line[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= line.size()) break;
    char e = line[pos++];
    switch (e) {
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'x': {
        int high = pos + 1 < line.size() ? HexValue(line[pos]) : -1;
        int low = pos + 1 < line.size() ? HexValue(line[pos + 1]) : -1;
        if (high < 0 || low < 0) {
          error = "\\x needs two hex digits";
          return false;
        }
        out += static_cast<char>(high * 16 + low);
        pos += 2;
        break;
      }
      default:
        error = std::string("unknown escape \\") + e;
        return false;
    }
  }
  error = "text without its closing quote";
  return false;
}

bool Tokenize(std::string_view line, std::vector<Token>& tokens, std::string& error) {
  std::size_t pos = 0;
  while (true) {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size()) return true;
    Token token;
    if (line[pos] == '"') {
      token.quoted = true;
      ++pos;
      if (!ReadQuoted(line, pos, token.text, error)) return false;
      if (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') {
        error = "no space after a quoted text";
        return false;
      }
    } else {
      std::size_t end = line.find_first_of(" \t", pos);
      if (end == std::string_view::npos) end = line.size();
      token.text = std::string(line.substr(pos, end - pos));
      if (token.text.find('"') != std::string::npos) {
        error = "a quote inside '" + token.text + "'";
        return false;
      }
      pos = end;
    }
    tokens.push_back(std::move(token));
  }
}

// A number with an optional unit suffix ("6", "6mm", "12pt").
bool ParseNumber(std::string_view text, std::string_view unit, double& value) {
  if (!unit.empty() && text.size() > unit.size() && text.ends_with(unit)) {
    text.remove_suffix(unit.size());
  }
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParseInt(std::string_view text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return !text.empty() && ec == std::errc() && ptr == end;
}

// Finds a keyword in a table of names; false when it is not there.
template <typename T>
bool Lookup(std::string_view text, std::initializer_list<std::pair<std::string_view, T>> table,
            T& out) {
  for (const auto& [name, value] : table) {
    if (text == name) {
      out = value;
      return true;
    }
  }
  return false;
}

bool ParseRule(std::string_view text, Doc::Rule& rule) {
  return Lookup<Doc::Rule>(
      text, {{"none", Doc::Rule::None}, {"solid", Doc::Rule::Solid}, {"dashed", Doc::Rule::Dashed}},
      rule);
}

bool ParseAlign(std::string_view text, Doc::Align& align) {
  return Lookup<Doc::Align>(
      text,
      {{"left", Doc::Align::Left}, {"center", Doc::Align::Center}, {"right", Doc::Align::Right}},
      align);
}

// Splits "key=value"; a word without "=" has an empty value.
std::pair<std::string_view, std::string_view> SplitOption(const std::string& word) {
  std::string_view view(word);
  std::size_t eq = view.find('=');
  if (eq == std::string_view::npos) return {view, {}};
  return {view.substr(0, eq), view.substr(eq + 1)};
}

class Builder {
public:
  bool Line(std::string_view line) {
    ++m_line;
    if (line.size() > Doc::kMaxLineBytes) return Fail("line longer than 16384 bytes");
    if (!GridText::IsValidUtf8(line)) return Fail("not UTF-8 text");
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') return true;  // blank or comment
    std::vector<Token> tokens;
    std::string error;
    if (!Tokenize(line, tokens, error)) return Fail(error);
    if (tokens[0].quoted) return Fail("a line must start with a keyword");
    return Directive(tokens);
  }

  bool Finish() {
    m_line = 0;
    if (!m_header) return Fail("empty template (no 'tillora-grid 1' line)");
    if (m_doc.rows.empty()) return Fail("the template has no rows");
    return CloseRow();
  }

  GridTemplateParser::Result TakeResult(bool ok) {
    GridTemplateParser::Result result;
    result.ok = ok;
    if (ok) {
      result.document = std::move(m_doc);
    } else {
      result.line = m_errorLine;
      result.message = m_error;
    }
    return result;
  }

private:
  bool Directive(const std::vector<Token>& tokens) {
    const std::string& keyword = tokens[0].text;
    if (!m_header) return Header(tokens);
    if (keyword == "row") return Row(tokens);
    if (keyword == "cell") return Cell(tokens);
    if (keyword != "paper" && keyword != "margin" && keyword != "font-size" &&
        keyword != "columns") {
      return Fail("unknown keyword '" + keyword + "'");
    }
    if (!m_doc.rows.empty()) return Fail("'" + keyword + "' must come before the first row");
    if (!m_seen.insert(keyword).second) return Fail("'" + keyword + "' given twice");
    for (std::size_t i = 1; i < tokens.size(); ++i) {
      if (tokens[i].quoted) return Fail("'" + keyword + "' takes no quoted text");
    }
    if (keyword == "paper") return Paper(tokens);
    if (keyword == "margin") return Margin(tokens);
    if (keyword == "font-size") return FontSize(tokens);
    return Columns(tokens);
  }

  bool Header(const std::vector<Token>& tokens) {
    if (tokens[0].text != kMagic) return Fail("the first line must be 'tillora-grid 1'");
    if (tokens.size() != 2 || tokens[1].text != kVersion) {
      return Fail("unsupported format version (this reader knows 'tillora-grid 1')");
    }
    m_header = true;
    return true;
  }

  bool Paper(const std::vector<Token>& tokens) {
    if (tokens.size() != 2) return Fail("'paper' takes one value: 58mm, 80mm or a4");
    const std::string& value = tokens[1].text;
    if (!Lookup<Doc::Paper>(value,
                            {{"58mm", Doc::Paper::Thermal58},
                             {"80mm", Doc::Paper::Thermal80},
                             {"a4", Doc::Paper::A4},
                             {"A4", Doc::Paper::A4}},
                            m_doc.paper)) {
      return Fail("unknown paper '" + value + "' (58mm, 80mm or a4)");
    }
    return true;
  }

  bool Margin(const std::vector<Token>& tokens) {
    if (tokens.size() < 2 || tokens.size() > 3) return Fail("'margin' takes one or two lengths");
    if (!Length(tokens[1].text, Doc::kMaxMarginMm, m_doc.marginXmm)) return false;
    return tokens.size() < 3 || Length(tokens[2].text, Doc::kMaxMarginMm, m_doc.marginYmm);
  }

  bool FontSize(const std::vector<Token>& tokens) {
    if (tokens.size() != 2) return Fail("'font-size' takes one value in points");
    return Size(tokens[1].text, m_doc.fontSize);
  }

  bool Columns(const std::vector<Token>& tokens) {
    if (tokens.size() < 2) return Fail("'columns' needs at least one width");
    if (tokens.size() - 1 > Doc::kMaxColumns) return Fail("more than 32 columns");
    for (std::size_t i = 1; i < tokens.size(); ++i) {
      double width = 0;
      if (!Length(tokens[i].text, Doc::PaperWidthMm(Doc::Paper::A4), width)) return false;
      if (width <= 0) return Fail("a column width must be more than 0");
      m_doc.columnsMm.push_back(width);
    }
    return true;
  }

  bool Row(const std::vector<Token>& tokens) {
    if (m_doc.columnsMm.empty()) return Fail("'columns' must come before the first row");
    if (!CheckWidth()) return false;
    if (!CloseRow()) return false;
    if (m_doc.rows.size() >= Doc::kMaxFileRows) return Fail("more than 5000 rows");
    Doc::Row row;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
      if (tokens[i].quoted) return Fail("a row takes no text; give it to its cells");
      if (!RowOption(tokens[i].text, row)) return false;
    }
    m_doc.rows.push_back(std::move(row));
    return true;
  }

  bool RowOption(const std::string& word, Doc::Row& row) {
    auto [key, value] = SplitOption(word);
    if (key == "height") return Length(value, Doc::kMaxRowHeightMm, row.heightMm);
    if (key == "top" && ParseRule(value, row.top)) return true;
    if (key == "bottom" && ParseRule(value, row.bottom)) return true;
    if (word == "boxed") {
      row.boxed = true;
      return true;
    }
    return Fail("unknown row option '" + word + "'");
  }

  bool Cell(const std::vector<Token>& tokens) {
    if (m_doc.rows.empty()) return Fail("a cell before the first row");
    Doc::Cell cell;
    bool hasText = false;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
      if (tokens[i].quoted) {
        if (hasText) return Fail("a cell holds one quoted text");
        if (tokens[i].text.size() > Doc::kMaxTextBytes) return Fail("text longer than 4096 bytes");
        if (!GridText::IsValidUtf8(tokens[i].text)) return Fail("text is not UTF-8");
        cell.text = tokens[i].text;
        hasText = true;
      } else if (!CellOption(tokens[i].text, cell)) {
        return false;
      }
    }
    std::vector<Doc::Cell>& cells = m_doc.rows.back().cells;
    std::size_t columns = m_doc.columnsMm.size();
    if (cells.size() + static_cast<std::size_t>(cell.span) > columns) {
      return Fail("the row has more cells than its " + std::to_string(columns) + " columns");
    }
    int span = cell.span;
    cells.push_back(std::move(cell));
    for (int i = 1; i < span; ++i) cells.emplace_back();
    return true;
  }

  bool CellOption(const std::string& word, Doc::Cell& cell) {
    auto [key, value] = SplitOption(word);
    if (key == "align" && ParseAlign(value, cell.align)) return true;
    if (key == "size") return Size(value, cell.fontSize);
    if (key == "span") {
      int span = 0;
      if (!ParseInt(value, span) || span < 1 || span > static_cast<int>(Doc::kMaxColumns)) {
        return Fail("span must be a whole number from 1 to 32");
      }
      cell.span = span;
      return true;
    }
    if (word == "bold" || word == "mono") {
      (word == "bold" ? cell.bold : cell.mono) = true;
      return true;
    }
    return Fail("unknown cell option '" + word + "'");
  }

  // Cells not written in the file are empty, so a row may list fewer cells
  // than there are columns.
  bool CloseRow() {
    if (m_doc.rows.empty()) return true;
    m_doc.rows.back().cells.resize(m_doc.columnsMm.size());
    return true;
  }

  bool CheckWidth() {
    double paper = Doc::PaperWidthMm(m_doc.paper);
    double margin = m_doc.marginXmm >= 0 ? m_doc.marginXmm : 0;
    double needed = m_doc.ContentWidthMm() + 2 * margin;
    if (needed <= paper + 1e-9) return true;
    return Fail("columns and margins need " + Number(needed) + " mm, wider than the " +
                Number(paper) + " mm paper");
  }

  bool Length(std::string_view text, double max, double& out) {
    double value = 0;
    if (!ParseNumber(text, "mm", value) || value < 0 || value > max) {
      return Fail("'" + std::string(text) + "' is not a length from 0 to " + Number(max) + " mm");
    }
    out = value;
    return true;
  }

  bool Size(std::string_view text, float& out) {
    double value = 0;
    if (!ParseNumber(text, "pt", value) || value < Doc::kMinFontSize || value > Doc::kMaxFontSize) {
      return Fail("'" + std::string(text) + "' is not a font size from 1 to 144 points");
    }
    out = static_cast<float>(value);
    return true;
  }

  static std::string Number(double value) {
    char buffer[32];
    auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, ptr) : std::string("?");
  }

  bool Fail(std::string message) {
    if (m_error.empty()) {
      m_errorLine = m_line;
      m_error = m_line > 0 ? "line " + std::to_string(m_line) + ": " + message : message;
    }
    return false;
  }

  GridDocument m_doc;
  std::set<std::string> m_seen;
  bool m_header = false;
  int m_line = 0;
  int m_errorLine = 0;
  std::string m_error;
};

}  // namespace

GridTemplateParser::Result GridTemplateParser::Parse(std::string_view text) {
  Builder builder;
  if (text.size() > GridDocument::kMaxFileBytes) {
    Result result;
    result.message = "template larger than 1 MiB";
    return result;
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!builder.Line(line)) return builder.TakeResult(false);
  }
  return builder.TakeResult(builder.Finish());
}

GridTemplateParser::Result GridTemplateParser::ParseFile(const std::string& path) {
  Result result;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    result.message = "cannot open template '" + path + "'";
    return result;
  }
  std::string text(GridDocument::kMaxFileBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) {
    result.message = "cannot read template '" + path + "'";
    return result;
  }
  text.resize(static_cast<std::size_t>(file.gcount()));
  if (text.size() > GridDocument::kMaxFileBytes) {
    result.message = "template '" + path + "' is larger than 1 MiB";
    return result;
  }
  result = Parse(text);
  if (!result.ok) result.message = path + ": " + result.message;
  return result;
}
