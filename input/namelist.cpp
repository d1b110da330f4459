// The card reader: finds a namelist group on a formatted unit and gathers its
// 80-column cards into one text, and the compact echo of unit 75.
#include "input/namelist.hpp"

#include <algorithm>

#include "core/unit_numbers.hpp"
#include "core/print.hpp"
#include "fortio/stop.hpp"

namespace ciprop {

namespace {

constexpr int kCard = 80;
constexpr int kEchoPiece = 60;        // gathered text per echo line
constexpr int kCollection = 2000;     // characters kept by the compact echo

bool is_quote(char ch) { return ch == '\'' || ch == '"'; }

// A card ends its group when it holds "&END" or "$END", or when its last
// non-blank character is "/".
bool ends_group(Run& run, const std::string& card) {
  if (card.find("&END") != std::string::npos || card.find("$END") != std::string::npos)
    return true;
  char c;
  der(run, c, card, kCard);
  return c == '/';
}

// An end card may carry data before its marker.  The marker is taken to be
// the last thing on the card: from three columns before the last non-blank
// ("&END", "$END") or from the "/" itself, the card is blanked.  Returns true
// when data remain in front of it.
bool data_before_end(Run& run, std::string& card) {
  char c;
  der(run, c, card, kCard);
  const int k = c == '/' ? 0 : 3;
  const int d = run.dder;
  bool data = false;
  for (int col = 1; col <= d - k - 1; ++col) data = data || card[col - 1] != ' ';
  if (!data) return false;
  for (int col = d - k; col <= std::min(d + 3, kCard); ++col) card[col - 1] = ' ';
  return true;
}

[[noreturn]] void overflow(Run& run, std::string_view group) {
  run.io.write_line(kUnitReport, "     *** TOO MANY CHARACTERS IN NAMELIST " + a_field(group, 7) +
                           " ** STOP **");
  fio::stop_error(run.io, "the group " + run.namelist_group + " holds more than " +
                              std::to_string(kGroupCapacity) +
                              " characters once blanks are dropped; shorten it");
}

// Appends the card from column `start` on: blanks outside a quoted run are
// dropped, everything else (the quotes included) is kept.  A quoted run opens
// at an apostrophe or a double quote and closes at the same character only.
void gather(Run& run, std::string_view group, const std::string& card, int start,
            std::string& text, int& count) {
  char open = 0;
  for (int col = start; col <= kCard; ++col) {
    const char ch = card[col - 1];
    if (open == 0 && is_quote(ch))
      open = ch;
    else if (open != 0 && ch == open)
      open = 0;
    else if (open == 0 && ch == ' ')
      continue;
    if (count + 1 > static_cast<int>(text.size())) overflow(run, group);
    text[count++] = ch;
  }
}

void echo_group(Run& run, std::string_view group, const std::string& text, int count) {
  run.io.list(kUnitReport, {" "});
  run.io.list(kUnitReport, {"=============== NAMELIST  ", group, " ==( en donnee )=============="});
  for (int k = 0; k < count; k += kEchoPiece)
    run.io.write_line(kUnitReport, std::string(1, ' ').append(text, k, kEchoPiece));
  run.io.list(kUnitReport, {std::string(60, '=')});
  run.io.list(kUnitReport, {" "});
}

}  // namespace

std::string a_field(std::string_view s, int w) {
  if (static_cast<int>(s.size()) >= w) return std::string(s.substr(0, w));
  return std::string(w - s.size(), ' ') + std::string(s);
}

void maj(char* s, int n) {
  for (int k = 0; k < n; ++k)
    if (s[k] >= 'a' && s[k] <= 'z') s[k] = static_cast<char>(s[k] - 32);
}

// Column 1 is left alone and never opens a string; an apostrophe flips the
// sign, so text between a pair keeps its case.
void majnam(std::string& card, int n) {
  bool outside = true;
  for (int col = 2; col <= n; ++col) {
    if (card[col - 1] == '\'') outside = !outside;
    if (outside) maj(&card[col - 1], 1);
  }
}

void der(Run& run, char& c, const std::string& card, int n) {
  run.dder = n;
  while (run.dder >= 1 && card[run.dder - 1] == ' ') --run.dder;
  c = run.dder >= 1 ? card[run.dder - 1] : ' ';
}

// Every card must end in a separator so that the value of its last item does
// not run into the first item of the next card.  A card ending in "=" lets
// its value continue on the next card.
void ajvir(Run& run, std::string& card, int n, std::string_view where) {
  const char last = card[n - 1];
  if (last != ',' && last != ' ') {
    run.io.list(kUnitReport, {card});
    refuse(run, {"ligne de 80 caracteres sans vigule a la fin"},
           std::string(where) + " fills all " + std::to_string(n) +
               " columns and does not end in a comma; end it with a comma, or break it after "
               "one");
  }
  int col = n;
  while (col >= 1 && card[col - 1] == ' ') --col;
  if (col == 0 || card[col - 1] == ',' || card[col - 1] == '=') return;
  card[col] = ',';
}

std::string unit_source(Run& run, int unit) {
  return unit == kUnitInput || unit == kUnitStdin ? std::string("standard input")
                                                  : "the file " + run.io.name(unit);
}

std::string group_source(Run& run, std::string_view group, int unit) {
  return std::string(group) + " of " + unit_source(run, unit);
}

void check_card_width(Run& run, std::string_view line, std::string_view where) {
  if (line.size() <= static_cast<size_t>(kCard) ||
      line.find_first_not_of(' ', kCard) == std::string_view::npos)
    return;
  const std::string why = std::string(where) + " has " + std::to_string(line.size()) +
                          " characters; a namelist card is read in its first " +
                          std::to_string(kCard) +
                          " columns and the text beyond them would be lost: break the line "
                          "after a comma";
  refuse(run, {why}, why);
}

void lecnam(Run& run, std::string_view group, std::string& text, int unit, int& ierr,
            int iprint) {
  ierr = 0;
  text.assign(kGroupCapacity, ' ');
  std::string line, card;
  auto to_card = [&] {
    card = line;
    card.resize(kCard, ' ');
    majnam(card, kCard);
  };
  size_t at;
  do {
    if (!run.io.read_line(unit, line)) {
      ierr = 1;
      return;
    }
    to_card();
    at = card.find(group);
  } while (at == std::string::npos);
  run.namelist_group = group_source(run, group, unit);
  auto where = [&] { return "line " + std::to_string(run.io.record(unit)) + " of " + unit_source(run, unit); };
  // Text beyond column 80 would be lost; the copy of standard input holds
  // 80 columns, its lines were checked whole.
  check_card_width(run, line, where());

  int start = static_cast<int>(at + group.size()) + 1;
  int count = 0;
  bool last_card = false;
  for (;;) {
    if (ends_group(run, card)) {
      last_card = data_before_end(run, card);
      if (!last_card) break;
    }
    ajvir(run, card, kCard, where());
    gather(run, group, card, start, text, count);
    if (last_card) break;
    run.io.flush(kUnitReport);
    if (!run.io.read_line(unit, line))
      fio::stop_io(run.io, unit_source(run, unit) + " ends inside the group " + std::string(group) +
                               ", which has no end (&END, $END or a final /); close the group");
    check_card_width(run, line, where());
    to_card();
    start = 1;
  }
  if (iprint == 1) echo_group(run, group, text, count);
}

// The stage has just written its groups to unit 75 in namelist style; they
// are shown with every blank removed, laid out in lines of 52 to 73
// characters broken after a blank or a comma where possible.  Records are
// taken whole, so a long file name is shown in full.
void scrinam(Run& run, std::string_view title) {
  std::string coll;
  std::string record;
  run.io.rewind(kUnitListing);
  for (;;) {
    if (coll.size() < kCollection) coll.push_back(' ');
    if (!run.io.read_line(kUnitListing, record)) break;
    for (char ch : record)
      if (ch != ' ' && coll.size() < kCollection) coll.push_back(ch);
  }
  std::string shown(title.substr(0, std::min<size_t>(15, title.size())));
  shown.resize(15, ' ');
  run.io.list(kUnitReport, {" "});
  run.io.list(kUnitReport, {"===================== ", shown, " ======================"});
  std::string line;
  for (char ch : coll) {
    line.push_back(ch);
    const int n = static_cast<int>(line.size());
    if (n > 51 && (ch == ' ' || ch == ',' || n == 73)) {
      run.io.write_line(kUnitReport, std::string(1, ' ').append(line));
      line.clear();
    }
  }
  run.io.write_line(kUnitReport, std::string(1, ' ').append(line));
  run.io.list(kUnitReport, {std::string(60, '=')});
  run.io.list(kUnitReport, {" "});
  run.io.rewind(kUnitListing);
}

}  // namespace ciprop
