// The SMS store: format, list, read, delete, write.
#include "dialogue.h"

namespace {

const std::string kQuery = "AT+CMGF?\r\n", kText = "\r\n+CMGF: 1\r\n" + kOk, kPdu = "\r\n+CMGF: 0\r\n" + kOk;
const std::string kSmsFail = "Chip internal fail!\r\n";

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
    const std::string tooBig = "\r\n" + Header(1, 500) + "x\r\n" + Header(2, 524) + "y\r\n" + kOk;
    const std::string all = "AT+CMGL=\"ALL\"\r\n", cmgr = "AT+CMGR=3\r\n";
    // Whole answers through their OK of exactly n characters: a verbatim
    // copy keeps at most 1023 and the terminator, and reads no '%' as a format.
    auto answer = [](size_t n) { return "\r\n" + std::string(n - 2 - kOk.size(), '%') + kOk; };
    const std::string fits = answer(1023), over = answer(1024);
    auto tooBigFor = [](const std::string& command, const std::string& answer) {
        return (command + ": Too big response!\r\n" + answer).substr(0, 1023);
    };
    const std::string cmgw = "AT+CMGW=\"+4917\",,\"STO SENT\"\r\n", prompt = "\r\n> ";
    RunDialogues({
        {"mode text", kOn, &M::GetSmsMode, {{kQuery, kText}}, {1, 1, "SMS mode: TEXT\r\n"}},
        {"mode unknown", kOn, &M::GetSmsMode, {{kQuery, kOk}}, {2, 0, "AT+CMGF: Incorrect response!\r\n" + kOk}},
        {"mode refused", kOn, &M::GetSmsMode, {{kQuery, kError}}, {2, -101, kSmsFail + kError}},
        {"set pdu", kOn, Mode(0), {{"AT+CMGF=0\r\n", kOk}}, {1, 0, "SMS mode set: PDU"}},
        {"list pdu 4", kOn, List(4, 0), {{kQuery, kPdu}, {"AT+CMGL=4\r\n", kOk}}, {1, 0, kOk}},
        {"headers", kOn, List(4, 1), {{kQuery, kText}, {all, two}}, {1, 1, Header(1) + Header(2)}},
        // The second body is the line "OK": the whole-answer copy ends there.
        {"list whole", kOn, List(0, 0), {{kQuery, kText}, {"AT+CMGL=\"REC UNREAD\"\r\n", two}}, {1, 1, twoCut}},
        {"list headersOnly 2", kOn, List(3, 2), {{kQuery, kText}, {"AT+CMGL=\"STO SENT\"\r\n", two}}, {1, 1, twoCut}},
        {"headers too big", kOn, List(4, 1), {{kQuery, kText}, {all, tooBig}}, {2, 1, tooBigFor("AT+CMGL", tooBig)}},
        {"whole too big", kOn, List(4, 0), {{kQuery, kText}, {all, over}}, {2, 1, tooBigFor("AT+CMGL", over)}},
        {"list mode unknown", kOn, List(4, 0), {{kQuery, kOk}}, {2, 0, "AT+CMGF: Incorrect response!\r\n" + kOk}},
        {"read 1023", kOn, Read(3), {{cmgr, fits}}, {1, 0, fits}},
        {"read 1024", kOn, Read(3), {{cmgr, over}}, {2, 0, tooBigFor("AT+CMGR", over)}},
        {"delete", kOn, Delete(3, 0), {{"AT+CMGD=3\r\n", kOk}}, {1, 0, "Deleted SMS #3, flag 0"}},
        {"delete flag", kOn, Delete(3, 4), {{"AT+CMGD=3,4\r\n", kOk}}, {1, 0, "Deleted SMS #3, flag 4"}},
        // Text mode first, left set; the body ends in Ctrl-Z alone; the middle
        // number is the phone number's digit count.
        {"write",
         kOn,
         Write(2, "491701234567", "Hi 100%"),
         {{"AT+CMGF=1\r\n", kOk},
          {"AT+CMGW=\"+491701234567\",,\"STO UNSENT\"\r\n", prompt},
          {"Hi 100%\x1a", "\r\n+CMGW: 5\r\n" + kOk}},
         {1, 5, "Written SMS #5, phone 12, status STO UNSENT"}},
        {"write no index",
         kOn,
         Write(3, "4917", "Hi"),
         {{"AT+CMGF=1\r\n", kOk}, {cmgw, prompt}, {"Hi\x1a", kOk}},
         {2, 0, "AT+CMGW: Incorrect response!\r\n" + kOk}},
    });
}

}  // namespace
