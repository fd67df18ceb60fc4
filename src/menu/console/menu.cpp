#include "menu/console/menu.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "codefile/decimal.h"
#include "menu/console/drivers.h"
#include "menu/console/input_file.h"
#include "menu/console/random_codes.h"
#include "menu/console/texts.h"
#include "menu/store/counter.h"

namespace wdist {

namespace {

struct MenuState {
  char input_name[kNameBuffer] = "EXAM.txt";
  char output_name[kNameBuffer] = "EXAM.txt_r";
  std::int32_t choice = 0;
  std::int32_t gen_n = 40, gen_k = 20, gen_q = 2, gen_number = 30;
};

enum class Answer { number, not_a_number, end_of_input };

void show_screen(const MenuState& m) {
  std::fputs(texts::kScreenTitle, stdout);
  std::fputs(texts::kScreenCredit, stdout);
  std::fputs(texts::kScreenPurpose, stdout);
  std::fputs(kWideBuild ? texts::kScreenLimitWide : texts::kScreenLimitNarrow, stdout);
  std::printf(texts::kScreenFilesFormat, m.input_name, m.output_name);
  std::fputs(texts::kScreenMenu, stdout);
}

void discard_line() {
  int c;
  do c = std::getchar();
  while (c != '\n' && c != EOF);
}

// One number at a prompt. Text that is no number is discarded with the rest
// of its line.
Answer read_answer(std::int32_t& value) {
  std::fflush(stdout);
  std::int64_t read = 0;
  switch (read_decimal(stdin, read)) {
    case DecimalStatus::ok:
      value = clamp_to_int32(read);
      return Answer::number;
    case DecimalStatus::unreadable:
      discard_line();
      return Answer::not_a_number;
    case DecimalStatus::end_of_input:
    case DecimalStatus::read_error:
      break;
  }
  return Answer::end_of_input;
}

// Choice 3. Returns false when standard input has ended.
bool generate_codes(MenuState& m) {
  std::fputs(texts::kEnterGeneratorParameters, stdout);
  std::int32_t values[4] = {0, 0, 0, 0};
  for (std::int32_t& v : values) {
    switch (read_answer(v)) {
      case Answer::number:
        break;
      case Answer::not_a_number:
        return true;  // nothing is started; the parameters stay as they were
      case Answer::end_of_input:
        return false;
    }
  }
  m.gen_n = values[0];
  m.gen_k = values[1];
  m.gen_q = values[2];
  m.gen_number = values[3];
  write_random_codes(m.input_name, m.gen_n, m.gen_k, m.gen_q, m.gen_number);
  return true;
}

// Choice 2: asks until a name opens for reading. Returns false when standard
// input has ended.
bool change_input_file(MenuState& m) {
  char line[kNameBuffer];
  for (;;) {
    std::fputs(texts::kEnterInputName, stdout);
    std::fflush(stdout);
    const NameStatus status = read_name(line);
    if (status == NameStatus::end_of_input) return false;
    if (status == NameStatus::too_long) {
      std::fprintf(stderr, texts::kNameTooLongFormat, kLongestName);
      continue;
    }
    // read_name refuses names longer than kLongestName, so the report name
    // (the input name and "_r") always fits its buffer.
    const std::size_t length = std::strlen(line);
    std::memcpy(m.input_name, line, length + 1);
    std::memcpy(m.output_name, line, length);
    std::memcpy(m.output_name + length, "_r", 3);
    std::FILE* f = open_input_file(m.input_name);
    if (f != nullptr) {
      std::fclose(f);
      return true;
    }
    std::perror(texts::kOpenErrorPrefix);
  }
}

}  // namespace

NameStatus read_name(char (&destination)[kNameBuffer]) {
  destination[0] = '\0';
  for (;;) {
    int c = std::getchar();
    if (c == EOF) return NameStatus::end_of_input;
    if (c == ' ' || c == '\n') {
      if (c == ' ') discard_line();
      continue;
    }
    std::size_t length = 0;
    bool too_long = false;
    for (; c != '\n' && c != EOF; c = std::getchar()) {
      if (length < static_cast<std::size_t>(kLongestName))
        destination[length] = static_cast<char>(c);
      else
        too_long = true;
      ++length;
    }
    if (too_long) {
      destination[0] = '\0';
      return NameStatus::too_long;
    }
    destination[length] = '\0';
    return NameStatus::read;
  }
}

void run_menu() {
  MenuState m;
  for (;;) {
    show_screen(m);
    switch (read_answer(m.choice)) {
      case Answer::number:
        break;
      case Answer::not_a_number:
        continue;
      case Answer::end_of_input:
        return;
    }
    const std::int32_t choice = m.choice;
    if (choice <= 0) continue;
    switch (choice) {
      case 1:
        std::fputs(texts::kComputation, stdout);
        std::fflush(stdout);
        run_weight_distribution(m.input_name, m.output_name);
        break;
      case 2:
        if (!change_input_file(m)) return;
        break;
      case 3:
        if (!generate_codes(m)) return;
        break;
      case 4:
        return;
      case 33:
        std::fputs(texts::kProjectiveSums, stdout);
        std::fflush(stdout);
        run_projective_sums(m.input_name, m.output_name);
        break;
      default:
        std::fputs(texts::kChooseSomething, stdout);
        break;
    }
  }
}

}  // namespace wdist
