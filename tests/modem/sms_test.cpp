// The SMS store: format, list, read, delete, write.
#include "dialogue.h"

namespace {

using M = CSim7100Impl;
const std::string kQuery = "AT+CMGF?\r\n", kText = "\r\n+CMGF: 1\r\n" + kOk, kPdu = "\r\n+CMGF: 0\r\n" + kOk;
const std::string kFail = "Chip internal fail!\r\n";

// A text-mode header line of exactly `length` bytes, CR LF included.
std::string Header(int index, size_t length = 60) {
    const std::string head = "+CMGL: " + std::to_string(index) + ",\"REC READ\",\"+";
    const std::string tail = "\",,\"24/05/01,10:00:00+08\"\r\n";
    return head + std::string(length - head.size() - tail.size(), '4') + tail;
}
Op List(uint8_t status, uint8_t headersOnly) { return With(&M::ListSms, SListSmsRequest{status, headersOnly}); }
Op Mode(uint8_t mode) { return With(&M::SetSmsMode, SSetSmsModeRequest{mode}); }
Op Read(uint8_t index) { return With(&M::ReadSms, SReadSmsRequest{index}); }
Op Delete(uint8_t index, uint8_t flag) { return With(&M::DeleteSms, SDeleteSmsRequest{index, flag}); }
Op Write(uint8_t status, const std::string& phone, const std::string& body) {
    auto r = Zeroed<SWriteSmsRequest>();
    r.status = status;
    Put(r.phone, phone);
    Put(r.body, body);
    return With(&M::WriteSms, r);
}

TEST(Sms, Dialogues) {
    const std::string two = "\r\n" + Header(1) + "Hello\r\n" + Header(2) + "OK\r\n" + kOk;
    const std::string twoCut = "\r\n" + Header(1) + "Hello\r\n" + Header(2) + "OK\r\n";
    const std::string fits = "\r\n" + Header(1, 500) + "x\r\n" + Header(2, 523) + "y\r\n" + kOk;
    const std::string tooBig = "\r\n" + Header(1, 500) + "x\r\n" + Header(2, 524) + "y\r\n" + kOk;
    const std::string bigList = ("AT+CMGL: Too big response!\r\n" + tooBig).substr(0, 1023);
    const std::string all = "AT+CMGL=\"ALL\"\r\n", cmgr = "AT+CMGR=3\r\n";
    const std::string head = "\r\n+CMGR: \"REC READ\",\"+491701234567\",,\"24/05/01,10:00:00+08\"\r\n";
    const std::string bigRead = head + std::string(1000, 'b') + "\r\n" + kOk;
    const std::string stored = "\r\n+CMGW: 5\r\n" + kOk, prompt = "\r\n> ", body160(160, 'b');
    const std::string cmgw = "AT+CMGW=\"+4917\",,\"";
    const std::string noPort = "Write cmd AT+CMG";
    RunDialogues({
        {"mode text", kOn, &M::GetSmsMode, {{kQuery, kText}}, {1, 1, "SMS mode: TEXT\r\n"}},
        {"mode unknown", kOn, &M::GetSmsMode, {{kQuery, kOk}}, {2, 0, "AT+CMGF: Incorrect response!\r\n" + kOk}},
        {"mode refused", kOn, &M::GetSmsMode, {{kQuery, kError}}, {2, -101, kFail + kError}},
        {"set pdu", kOn, Mode(0), {{"AT+CMGF=0\r\n", kOk}}, {1, 0, "SMS mode set: PDU"}},
        {"set 7", kOn, Mode(7), {{"AT+CMGF=7\r\n", kOk}}, {1, 0, "SMS mode set: TEXT"}},  // passed on unchanged
        {"list text 9 headers", kOn, List(9, 1), {{kQuery, kText}, {all, kOk}}, {1, 1, ""}},
        {"list pdu 4", kOn, List(4, 0), {{kQuery, kPdu}, {"AT+CMGL=4\r\n", kOk}}, {1, 0, kOk}},
        {"list pdu 9 headers", kOn, List(9, 1), {{kQuery, kPdu}, {"AT+CMGL=9\r\n", kOk}}, {1, 0, ""}},
        {"list headers",
         kOn,
         List(1, 1),
         {{kQuery, kText}, {"AT+CMGL=\"REC READ\"\r\n", two}},
         {1, 1, Header(1) + Header(2)}},
        // The second body is the line "OK": the whole-answer copy ends there.
        {"list whole", kOn, List(0, 0), {{kQuery, kText}, {"AT+CMGL=\"REC UNREAD\"\r\n", two}}, {1, 1, twoCut}},
        {"list headersOnly 2", kOn, List(3, 2), {{kQuery, kText}, {"AT+CMGL=\"STO SENT\"\r\n", two}}, {1, 1, twoCut}},
        // Accepted without OK: copied whole.
        {"list connect",
         kOn,
         List(2, 0),
         {{kQuery, kText}, {"AT+CMGL=\"STO UNSENT\"\r\n", "\r\nCONNECT\r\n"}},
         {1, 1, "\r\nCONNECT\r\n"}},
        {"list 1023 bytes", kOn, List(4, 1), {{kQuery, kText}, {all, fits}}, {1, 1, Header(1, 500) + Header(2, 523)}},
        {"list 1024 bytes", kOn, List(4, 1), {{kQuery, kText}, {all, tooBig}}, {2, 1, bigList}},
        {"list refused",
         kOn,
         List(4, 0),
         {{kQuery, kPdu}, {"AT+CMGL=4\r\n", "\r\n+CMS ERROR: 302\r\n"}},
         {2, -102, kFail + "\r\n+CMS ERROR: 302\r\n"}},
        {"list mode unknown", kOn, List(4, 0), {{kQuery, kOk}}, {2, 0, "AT+CMGF: Incorrect response!\r\n" + kOk}},
        {"read", kOn, Read(3), {{cmgr, head + "Hi 100%\r\n" + kOk}}, {1, 0, head + "Hi 100%\r\n" + kOk}},
        {"read body OK", kOn, Read(3), {{cmgr, head + "OK\r\n" + kOk}}, {1, 0, head + "OK\r\n"}},
        {"read too big",
         kOn,
         Read(3),
         {{cmgr, bigRead}},
         {2, 0, ("AT+CMGR: Too big response!\r\n" + bigRead).substr(0, 1023)}},
        // No initialised test: the write to the closed port fails.
        {"read closed",
         kOff,
         Read(3),
         {},
         {2, -100,
          "Chip internal fail! " + noPort +
              "R=3\r\n to modem failed, "
              "written bytes 4294967295 expected 11"}},
        {"delete", kOn, Delete(3, 0), {{"AT+CMGD=3\r\n", kOk}}, {1, 0, "Deleted SMS #3, flag 0"}},
        {"delete flag", kOn, Delete(3, 4), {{"AT+CMGD=3,4\r\n", kOk}}, {1, 0, "Deleted SMS #3, flag 4"}},
        // Text mode first, left set; the body ends in Ctrl-Z alone; the middle
        // number is the phone number's digit count.
        {"write",
         kOn,
         Write(2, "491701234567", "Hi 100%"),
         {{"AT+CMGF=1\r\n", kOk}, {"AT+CMGW=\"+491701234567\",,\"STO UNSENT\"\r\n", prompt}, {"Hi 100%\x1a", stored}},
         {1, 5, "Written SMS #5, phone 12, status STO UNSENT"}},
        {"write full fields",
         kOn,
         Write(9, std::string(16, '9'), body160),
         {{"AT+CMGF=1\r\n", kOk},
          {"AT+CMGW=\"+" + std::string(16, '9') + "\",,\"ALL\"\r\n", prompt},
          {body160 + "\x1a", stored}},
         {1, 5, "Written SMS #5, phone 16, status ALL"}},
        {"write no index",
         kOn,
         Write(3, "4917", "Hi"),
         {{"AT+CMGF=1\r\n", kOk}, {cmgw + "STO SENT\"\r\n", prompt}, {"Hi\x1a", kOk}},
         {2, 0, "AT+CMGW: Incorrect response!\r\n" + kOk}},
    });
}

}  // namespace
