#include "peers/host/RcHostOptions.h"

#include <gtest/gtest.h>

namespace {

using Command = RcHostOptions::Command;

TEST(RcHostOptions, CommandsAndTheirOptions) {
  RcHostOptions listen = RcParseOptions(
      {L"listen", L"Raw Input", L"--seconds", L"5", L"--value", L"Seek Forward MS=500", L"--value", L"X=a=b",
       L"--start-flag", L"1"});
  EXPECT_TRUE(listen.error.empty()) << listen.error;
  EXPECT_EQ(listen.command, Command::kListen);
  EXPECT_EQ(listen.plugin, L"Raw Input");
  EXPECT_EQ(listen.seconds, 5);
  EXPECT_TRUE(listen.startFlag);
  EXPECT_EQ(listen.values.at(L"seek forward ms"), L"500");
  EXPECT_EQ(listen.values.at(L"x"), L"a=b");

  EXPECT_EQ(RcParseOptions({L"list"}).command, Command::kList);
  EXPECT_EQ(RcParseOptions({L"register"}).command, Command::kRegister);
  EXPECT_EQ(RcParseOptions({L"unregister"}).command, Command::kUnregister);
  EXPECT_EQ(RcParseOptions({L"list", L"--help"}).command, Command::kHelp);
  EXPECT_EQ(RcParseOptions({L"listen", L"2"}).seconds, 30);
  EXPECT_FALSE(RcParseOptions({L"listen", L"2"}).timestamps);
  EXPECT_TRUE(RcParseOptions({L"listen", L"2", L"--timestamps"}).timestamps);

  RcHostOptions blast = RcParseOptions({L"blast", L"USB-UUIRT", L"<ZRIR version=\"1.0\"/>", L"--start-flag", L"1"});
  EXPECT_TRUE(blast.error.empty()) << blast.error;
  EXPECT_EQ(blast.command, Command::kBlast);
  EXPECT_EQ(blast.plugin, L"USB-UUIRT");
  EXPECT_EQ(blast.code, L"<ZRIR version=\"1.0\"/>");
  EXPECT_TRUE(blast.startFlag);

  RcHostOptions learn = RcParseOptions({L"learn", L"3", L"--seconds", L"4"});
  EXPECT_TRUE(learn.error.empty()) << learn.error;
  EXPECT_EQ(learn.command, Command::kLearn);
  EXPECT_EQ(learn.plugin, L"3");
  EXPECT_EQ(learn.seconds, 4);

  // validate waits less than the others unless --seconds is given; the module is optional.
  RcHostOptions validate = RcParseOptions({L"validate"});
  EXPECT_TRUE(validate.error.empty()) << validate.error;
  EXPECT_EQ(validate.command, Command::kValidate);
  EXPECT_TRUE(validate.module.empty());
  EXPECT_FALSE(validate.secondsGiven);
  RcHostOptions validateOther = RcParseOptions({L"validate", L"C:\\other\\ZrRemoteControl.dll", L"--seconds", L"0"});
  EXPECT_TRUE(validateOther.error.empty()) << validateOther.error;
  EXPECT_EQ(validateOther.module, L"C:\\other\\ZrRemoteControl.dll");
  EXPECT_TRUE(validateOther.secondsGiven);
  EXPECT_EQ(validateOther.seconds, 0);

  RcHostOptions monitor = RcParseOptions({L"monitor", L"--seconds", L"3"});
  EXPECT_TRUE(monitor.error.empty()) << monitor.error;
  EXPECT_EQ(monitor.command, Command::kMonitor);
  EXPECT_EQ(monitor.seconds, 3);
}

TEST(RcHostOptions, WhatIsNotUnderstoodIsSaid) {
  const std::vector<std::vector<std::wstring>> bad = {
      {},
      {L"play"},
      {L"listen"},
      {L"listen", L"IRMAN", L"--seconds"},
      {L"listen", L"IRMAN", L"--seconds", L"-1"},
      {L"listen", L"IRMAN", L"--seconds", L"ten"},
      {L"listen", L"IRMAN", L"--value", L"novalue"},
      {L"listen", L"IRMAN", L"--value", L"=x"},
      {L"listen", L"IRMAN", L"--start-flag", L"yes"},
      {L"listen", L"IRMAN", L"MCE"},
      {L"list", L"extra"},
      {L"list", L"--verbose"},
      {L"blast"},
      {L"blast", L"USB-UUIRT"},
      {L"blast", L"USB-UUIRT", L""},
      {L"blast", L"USB-UUIRT", L"code.xml", L"more.xml"},
      {L"learn"},
      {L"learn", L"USB-UUIRT", L"extra"},
      {L"validate", L""},
      {L"validate", L"a.dll", L"b.dll"},
      {L"monitor", L"IRMAN"},
  };
  for (const auto& arguments : bad) {
    std::wstring line;
    for (const auto& a : arguments) line += a + L" ";
    EXPECT_FALSE(RcParseOptions(arguments).error.empty()) << "accepted: " << line;
  }
}

}  // namespace
