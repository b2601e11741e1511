#include "GridTemplateWriter.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>

namespace {

using Doc = GridDocument;

std::string Number(double value) {
  char buffer[32];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, ptr) : std::string("0");
}

std::string Number(float value) {
  char buffer[32];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, ptr) : std::string("9");
}

const char* PaperName(Doc::Paper paper) {
  switch (paper) {
    case Doc::Paper::Thermal58: return "58mm";
    case Doc::Paper::Thermal80: return "80mm";
    case Doc::Paper::A4: return "a4";
  }
  return "a4";
}

const char* RuleName(Doc::Rule rule) {
  return rule == Doc::Rule::Solid ? "solid" : rule == Doc::Rule::Dashed ? "dashed" : "none";
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void WriteHead(const Doc& doc, std::string& out) {
  out += "tillora-grid 1\n";
  out += std::string("paper ") + PaperName(doc.paper) + "\n";
  if (doc.marginXmm >= 0) {
    out += "margin " + Number(doc.marginXmm);
    if (doc.marginYmm >= 0) out += " " + Number(doc.marginYmm);
    out += "\n";
  }
  out += "font-size " + Number(doc.fontSize) + "\n";
  out += "columns";
  for (double width : doc.columnsMm) out += " " + Number(width);
  out += "\n";
}

void WriteRow(const Doc::Row& row, std::string& out) {
  out += "\nrow";
  if (row.heightMm > 0) out += " height=" + Number(row.heightMm);
  if (row.top != Doc::Rule::None) out += std::string(" top=") + RuleName(row.top);
  if (row.bottom != Doc::Rule::None) out += std::string(" bottom=") + RuleName(row.bottom);
  if (row.boxed) out += " boxed";
  out += "\n";
}

void WriteCell(const Doc::Cell& cell, std::string& out) {
  out += "  cell";
  if (cell.span > 1) out += " span=" + std::to_string(cell.span);
  if (cell.align == Doc::Align::Center) out += " align=center";
  if (cell.align == Doc::Align::Right) out += " align=right";
  if (cell.bold) out += " bold";
  if (cell.mono) out += " mono";
  if (cell.fontSize > 0) out += " size=" + Number(cell.fontSize);
  if (!cell.text.empty()) out += " " + Quote(cell.text);
  out += "\n";
}

}  // namespace

std::string GridTemplateWriter::Write(const GridDocument& document) {
  std::string out;
  WriteHead(document, out);
  for (const Doc::Row& row : document.rows) {
    WriteRow(row, out);
    // Trailing empty cells are implied by the column count.
    std::size_t last = row.cells.size();
    while (last > 0 && row.cells[last - 1].text.empty() && row.cells[last - 1].span == 1 &&
           !row.cells[last - 1].bold && !row.cells[last - 1].mono &&
           row.cells[last - 1].fontSize == 0 && row.cells[last - 1].align == Doc::Align::Left) {
      --last;
    }
    for (std::size_t c = 0; c < last; c += static_cast<std::size_t>(row.cells[c].span)) {
      WriteCell(row.cells[c], out);
    }
  }
  return out;
}

bool GridTemplateWriter::WriteFile(const GridDocument& document, const std::string& path,
                                   std::string& message) {
  std::string temporary = path + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    std::string text = Write(document);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) {
      std::remove(temporary.c_str());
      message = "cannot write '" + path + "'";
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    message = "cannot replace '" + path + "'";
    return false;
  }
  return true;
}
