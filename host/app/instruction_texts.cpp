#include "app/instruction_texts.h"

#include <array>

#include "app/control_ids.h"

namespace app {
namespace {

constexpr std::array<ControlText, 12> kEnglish{{
    {IDC_TEXT_1128, u"This upgrade tool is compatible with Windows 7 (SP1)."},
    {IDC_TEXT_1129, u"Follow these steps to update your router:"},
    {IDC_TEXT_1130, u"1. Wait until the update program have established communication with the router and prepared it for the update."},
    {IDC_TEXT_1131, u"2. Click the \"UPDATE\" button when it becomes active."},
    {IDC_TEXT_1132, u"3. Wait until you get the message that the update have been completed."},
    {IDC_TEXT_1133, u"NOTE!"},
    {IDC_TEXT_1134, u"Do not turn off or remove the cable from the router during the update process."},
    {IDC_TEXT_1135, u"Do not switch off your computer and make sure it is connected to external power."},
    {IDC_TEXT_1136, u"The update may fail if computer goes to sleep, standby or hibernates during the update."},
    {IDC_VERSION_LABEL, u"Version:"},
    {IDC_PROGRESS_LABEL, u"Progress:"},
    {IDC_UPDATE_BUTTON, u"UPDATE"},
}};

constexpr std::array<ControlText, 12> kGerman{{
    {IDC_TEXT_1128, u"Dieses Programm ist mit Windows XP (SP3), Windows 7 und Windows 8 kompatibel."},
    {IDC_TEXT_1129, u"Beachten Sie folgende Schritte:"},
    {IDC_TEXT_1130, u"1. Warten Sie bis das Programm eine Verbindung zum KVR 4G Wireless Router hergestellt hat."},
    {IDC_TEXT_1131, u"2. Klicken Sie auf den \"Update\" button sobald dieser aktiv geworden ist."},
    {IDC_TEXT_1132, u"3.Warten Sie bis das Update erfolgreich abgeschlossen ist!"},
    {IDC_TEXT_1133, u"WICHTIG !"},
    {IDC_TEXT_1134, u"Trennen Sie nie das LAN Kabel solange das Programm arbeitet."},
    {IDC_TEXT_1135, u"Schalten Sie Ihren PC nicht aus. Stellen Sie die Stromversorgung des PC sicher."},
    {IDC_TEXT_1136, u"Das Update bricht möglicherweise ab falls der PC in den Stand by Modus schaltet."},
    {IDC_VERSION_LABEL, u"Version:"},
    {IDC_PROGRESS_LABEL, u"Fortschritt:"},
    {IDC_UPDATE_BUTTON, u"Update"},
}};

constexpr std::array<ControlText, 12> kPortuguese{{
    {IDC_TEXT_1128, u"Essa ferramenta de atualizacao é compativel com Windows XP (SP3) 32bit, Windows 7 (SP1) and Windows 8."},
    {IDC_TEXT_1129, u"Siga os passos para atualizar o roteador:"},
    {IDC_TEXT_1130, u"1. Espere enquanto o software de atualização estabeleca conexao com o roteador e se prepare para a atualizacao."},
    {IDC_TEXT_1131, u"2. Clique no botao \"ATUALIZAR\" quando estiver ativo."},
    {IDC_TEXT_1132, u"3. Aguarde ate receber a mensagem que a atualizacao foi conlcuida!"},
    {IDC_TEXT_1133, u"ATENCAO!"},
    {IDC_TEXT_1134, u"Nao desligue o roteador ou remova o cabo durante o processo de atualizacao."},
    {IDC_TEXT_1135, u"Nao desligue seu computador e verifique se o mesmo esta conectado a um fonte externa de energia."},
    {IDC_TEXT_1136, u"A atualizacao pode falhar se o computador entrar em modo de espera, hibernar, ou modo sleep durante o processo."},
    {IDC_VERSION_LABEL, u"Versao:"},
    {IDC_PROGRESS_LABEL, u"Progresso:"},
    {IDC_UPDATE_BUTTON, u"ATUALIZAR"},
}};

constexpr std::array<ControlText, 9> kWelcome{{
    {IDC_TEXT_1127, u"Informacao importante!"},
    {IDC_TEXT_1128, u"Por favor, leia as seguintes instrucoes antes de realizar a atualizacao."},
    {IDC_TEXT_1129, u"- Remova o cartão SIM e reinicie o roteador."},
    {IDC_TEXT_1130, u"- Por favor, inicie esse programa como \"Administrador\" e feche outros programas."},
    {IDC_TEXT_1131, u"- Conectar o seu dispositivo ao seu computador utilizando um cabo LAN na porta do seu roteador."},
    {IDC_TEXT_1132, u"- Desconecte qualquer conexao WIFI no computador e desative o WIFI durante essa atualizacao."},
    {IDC_TEXT_1133, u"- Favor conectar o dispositivo diretamente ao computador com um cabo de rede. Docking Station ou Switch nao sao recomendados."},
    {IDC_TEXT_1134, u"- Voce pode receber mensagens de seguranca do firewall quando o programa iniciar, por favor permita que o programa acesse redes publicas (padrão) para que a atualização possa ser realizada."},
    {IDC_TEXT_1135, u"- Clique \"OK\" quando voce tiver realizado todas as instrucoes."},
}};

}  // namespace

std::span<const ControlText> MainWindowTexts(int language)
{
    switch (language) {
    case kLanguageEnglish: return kEnglish;
    case kLanguageGerman: return kGerman;
    case kLanguagePortuguese: return kPortuguese;
    default: return {};
    }
}

std::span<const ControlText> WelcomeTexts() { return kWelcome; }
std::u16string_view WelcomeOkText() { return u"OK"; }
std::u16string_view WelcomeCancelText() { return u"CANCELAR"; }

}  // namespace app
