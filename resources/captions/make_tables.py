#!/usr/bin/env python3
"""Writes the five caption tables of KestrixTray as they are stored in the program.

ENGLISH is single-byte Windows-1252 text without a byte-order mark (it holds
ASCII only, so it reads the same in every ANSI code page); PRTBRZL is UTF-8
with a byte-order mark, so that its accented letters read the same whatever
the system's code page (UTF-8 included); FRENCH, KOREAN and RUSSIAN are
UTF-16 little-endian with a mark. Lines
end with CR LF and the last line has no break after it. Rows come in groups,
one per window, with one empty line between the groups: the companion main
program's main window first, then the tray form.

Run it again only when a text changes; the files are kept in the repository
byte for byte (see .gitattributes).
"""
import os
import sys

TRAY_KEYS = ["OpenPopup", "AccelAppPopup", "UpdatePopup", "HelpPopup", "ExitPopup",
             "TrayIcon", "OpenAppLabel", "BalloonTitle", "BalloonHint"]

TABLES = {
    "ENGLISH": ("cp1252", {
        "tray": ["Open &Kestrix", "&Accelerate application", "&Check for updates", "&Help", "&Exit",
                 "Kestrix", "Click to open Kestrix...", "Kestrix Update",
                 "An update for Kestrix is available to download.  Click here to download and install "
                 "the software update."],
        "main": ["Kestrix", "&Settings", "&Block list", "&About", "&Close"],
    }),
    "FRENCH": ("utf-16", {
        "tray": ["Ouvrir &Kestrix", "A&ccelérer l'application", "&Vérifier les mises à jour", "&Aide",
                 "&Quitter", "Kestrix", "Cliquez pour ouvrir Kestrix...", "Mise à jour Kestrix",
                 "Une mise à jour pour Kestrix est téléchargeable.  Cliquez ici pour télécharger et "
                 "installer la mise à jour du logiciel."],
        "main": ["Kestrix", "&Paramètres", "Liste d'&exclusion", "À &propos", "&Fermer"],
    }),
    "KOREAN": ("utf-16", {
        "tray": ["Kestrix 열기(&O)", "프로그램 가속화(&P)", " 업데이트 체크(&C)", "도움말(&H)",
                 "프로그램 종료(&X)", "Kestrix", "Kestrix 실행...", "Kestrix 업데이트",
                 "Kestrix 업데이트가 가능합니다. 다운로드하고 설치하시려면 여기를 클릭하세요."],
        "main": ["Kestrix", "설정(&S)", "제외 목록(&B)", "정보(&A)", "닫기(&C)"],
    }),
    "PRTBRZL": ("utf-8-bom", {
        "tray": ["Abrir o &Kestrix", "&Acelerar aplicativo", "&Verificar por atualizações", "&Ajuda",
                 "&Sair", "Kestrix", "Clique para abrir o Kestrix...", "Atualização do Kestrix",
                 "Uma atualização para o Kestrix está disponível para download. Clique aqui para baixar "
                 "e instalar a atualização do software."],
        "main": ["Kestrix", "&Configurações", "Lista de &bloqueio", "&Sobre", "&Fechar"],
    }),
    "RUSSIAN": ("utf-16", {
        "tray": ["Открыть &Kestrix", "&Ускорение приложений", "&Проверить обновления", "&Помощь",
                 "&Закрыть", "Kestrix", "Нажмите, чтобы открыть Kestrix...", "Обновление Kestrix",
                 "Обновление для Kestrix доступен для скачивания.  Кликните здесь, чтобы загрузить и "
                 "установить обновление программы."],
        "main": ["Kestrix", "&Настройки", "&Список исключений", "&О программе", "&Закрыть"],
    }),
}

MAIN_KEYS = ["KXMainForm", "SettingsButton", "BlockListButton", "AboutButton", "CloseButton"]


def quoted(text):
    return '"' + text.replace('"', '""') + '"'


# The main program's other windows (programs/main) and its updater:
# one group per window after the main window's group, before the tray form's.
PRODUCT_KEYS = {
    "KXMainForm": ["CurrentTitleLabel", "NothingAccelerated", "AddCurrentButton", "AdvancedButton", "StatsButton",
                   "TestButton", "HelpButton", "TrayRunning", "TrayNotRunning", "StartTrayButton"],
    "KXSettingsForm": ["KXSettingsForm", "PriorityLabel", "PriorityIdle", "PriorityBelow", "PriorityNormal",
                       "PriorityAbove", "PriorityHigh", "PriorityRealtime", "RealtimeWarning", "IdealCheck",
                       "TrayIconCheck", "LanguageLabel", "StartCheck", "SaveButton", "CloseButton",
                       "InstantBoostCheck", "RestoreCheck", "BusiestCheck", "FollowThemeCheck"],
    "KXAdvancedSettingsForm": ["KXAdvancedSettingsForm", "ColorsLabel", "BackgroundLabel", "GridLabel", "BarLabel",
                               "ChooseButton", "DefaultButton", "SaveButton", "CloseButton", "BusiestLabel"],
    "KXAddBlockListForm": ["KXAddBlockListForm", "BuiltInLabel", "UserLabel", "KindLabel", "KindClass", "KindTitle",
                           "KindPath", "PatternLabel", "DescriptionLabel", "AddButton", "ChangeButton",
                           "DeleteButton", "WindowsLabel", "UseWindowButton", "RefreshButton", "CloseButton"],
    "KXStatsForm": ["KXStatsForm", "ProcessorsLabel", "LoadLabel", "AppLabel", "PriorityClassLabel",
                    "BuiltInRowsLabel", "UserRowsLabel", "UpdatedLabel", "Never", "CloseButton"],
    "KXTestForm": ["KXTestForm", "TrayCheck", "KeyCheck", "FileCheck", "Pass", "Fail", "NoFile", "RunButton",
                   "CloseButton"],
    "KXAboutForm": ["KXAboutForm", "VersionLabel", "MakerLabel", "UpdateButton", "CloseButton"],
    "KXMessages": ["Saved", "LanguageNote", "WriteRefused", "RunRefused", "ListSaved", "EmptyPattern", "LineBreak",
                   "BadKind", "SaveFailed", "FileBusy", "Unreadable", "ReloadRefused", "AlreadyListed",
                   "NoSelection", "Truncated", "Utf8NoMark", "ChangedElsewhere", "ListTooLarge", "RowTooLong",
                   "NoDataFolder", "NotInstalled", "NotOwnFile"],
    "KXUpdateForm": ["KXUpdateForm", "Checking", "Available", "UpToDate", "NoAnswer", "DownloadButton",
                     "RetryButton", "CloseButton"],
}

PRODUCT_TEXTS = {
    "ENGLISH": {
        "KXMainForm": ["Accelerated now:", "No application is accelerated at the moment.", "Add it to the block &list",
                       "A&dvanced settings", "S&tatistics", "Self-chec&k", "&Help", "KestrixTray is running.",
                       "KestrixTray is not running.", "Start Kestrix&Tray"],
        "KXSettingsForm": ["Kestrix Settings", "Priority of the application in front:", "Low (idle)", "Below normal",
                           "Normal", "Above normal", "High (recommended)", "Realtime",
                           "Warning: realtime gives the application in front every bit of processor time it asks "
                           "for. The mouse, the keyboard and other programs can stop responding until it ends.",
                           "Move the application to the &least used processor",
                           "Show the load graph in the &notification area", "&Language:",
                           "Start KestrixTray with &Windows", "&Save", "&Close",
                           "Raise the application &at once when it comes to the front",
                           "&Put the last application back when KestrixTray ends",
                           "Mark the &busiest processor in each column", "&Dark colours while Windows uses its dark theme"],
        "KXAdvancedSettingsForm": ["Kestrix Advanced Settings", "Colours of the load graph:", "Background", "Grid",
                                   "Bars", "Choose...", "Default", "&Save", "&Close", "Busiest processor"],
        "KXAddBlockListForm": ["Kestrix Block List", "&Built-in rows (clear a box to accelerate that application):",
                               "&Your rows:", "Look &in:", "Window class", "Window title", "Program path",
                               "&Text to look for:", "&Description:", "&Add", "C&hange", "&Delete",
                               "&Running windows:", "&Use", "&Refresh", "&Close"],
        "KXStatsForm": ["Kestrix Statistics", "Processors:", "Processor load:", "Accelerated application:",
                        "Its priority class:", "Built-in rows in force:", "Your rows:", "Last update:", "never",
                        "&Close"],
        "KXTestForm": ["Kestrix Self-Check", "KestrixTray is running", "The settings can be saved",
                       "The block-list file can be read", "OK", "Problem",
                       "No file yet: only the built-in rows are in force", "Check &again", "&Close"],
        "KXAboutForm": ["About Kestrix", "Version", "Made by VELMOR", "Check for &updates", "&Close"],
        "KXMessages": ["The settings are saved. KestrixTray uses them from its next second on.",
                       "KestrixTray shows the new language in its menu after its next start.",
                       "The settings could not be saved: Windows refused to write them. Install Kestrix again, "
                       "or run this program as administrator.",
                       "Starting with Windows could not be changed: this needs administrator rights.",
                       "Saved. KestrixTray reads the new block list within a second.",
                       "Enter the text to look for.", "The text and the description cannot hold line breaks.",
                       "Choose where to look.",
                       "The block list could not be saved: Windows refused to write the file.",
                       "The block-list file is in use by another program. Try again in a moment.",
                       "The block-list file cannot be read. It is kept as Kestrix.csv.bak when you save.",
                       "The block list is saved, but KestrixTray could not be told to read it again: "
                       "the settings are read-only.",
                       "This row is already in the list.", "Choose a row first.",
                       "The file is not read to its end (a NUL character, or UTF-16 without a mark). It is kept as "
                       "Kestrix.csv.bak when you save.",
                       "The file is UTF-8 without a mark and is shown as KestrixTray reads it. It is kept as "
                       "Kestrix.csv.bak when you save.",
                       "The block list was changed elsewhere meanwhile. It is shown as it now stands: make your "
                       "change again.",
                       "Not saved: KestrixTray reads no list this large (4 MiB, 65,536 rows, 4,096 characters a "
                       "line). The file is unchanged.",
                       "The text and the description are too long for one row (4,096 characters at most).",
                       "The block-list folder is missing, so the block list cannot be saved. Repair the installation by running Kestrix setup again.",
                       "Kestrix cannot start with Windows: no installed copy is recorded on this computer. Repair the installation by running Kestrix setup again.",
                       "Not saved: the new file the list is written to first turned out to be a link or another account's file, so nothing was written. Try again; if it happens again, ask an administrator to check the data folder."],
        "KXUpdateForm": ["Kestrix Update", "Asking the update server...", "An update for Kestrix is available.",
                         "Kestrix is up to date.",
                         "The update server could not be reached. Check the Internet connection and try again.",
                         "&Open the download page", "&Try again", "&Close"],
    },
    "FRENCH": {
        "KXMainForm": ["Accélérée maintenant :", "Aucune application n'est accélérée pour l'instant.",
                       "&Ajouter à la liste d'exclusion", "Paramètres a&vancés", "S&tatistiques", "Auto-&test",
                       "Aid&e", "KestrixTray est lancé.", "KestrixTray n'est pas lancé.", "Lancer Kestrix&Tray"],
        "KXSettingsForm": ["Paramètres de Kestrix", "Priorité de l'application au premier plan :",
                           "Basse (inactive)", "Inférieure à la normale", "Normale", "Supérieure à la normale",
                           "Haute (recommandée)", "Temps réel",
                           "Attention : le temps réel donne à l'application au premier plan tout le temps processeur "
                           "qu'elle demande. La souris, le clavier et les autres programmes peuvent cesser de "
                           "répondre jusqu'à sa fin.",
                           "Placer l'application sur le processeur le &moins utilisé",
                           "Afficher le graphique dans la zone de &notification", "&Langue :",
                           "Lancer KestrixTray avec &Windows", "&Enregistrer", "&Fermer",
                           "Accélérer l'application &dès qu'elle passe au premier plan",
                           "&Rétablir la dernière application à la fin de KestrixTray",
                           "Marquer le processeur le plus &occupé dans chaque colonne", "Couleurs &sombres quand Windows utilise le thème sombre"],
        "KXAdvancedSettingsForm": ["Paramètres avancés de Kestrix", "Couleurs du graphique :", "Fond", "Grille",
                                   "Barres", "Choisir...", "Par défaut", "&Enregistrer", "&Fermer", "Processeur le plus occupé"],
        "KXAddBlockListForm": ["Liste d'exclusion de Kestrix",
                               "Lignes &intégrées (décochez pour accélérer l'application) :", "&Vos lignes :",
                               "Chercher &dans :", "Classe de fenêtre", "Titre de fenêtre", "Chemin du programme",
                               "&Texte à chercher :", "D&escription :", "&Ajouter", "&Modifier", "&Supprimer",
                               "Fenêtres &ouvertes :", "&Utiliser", "Actualise&r", "&Fermer"],
        "KXStatsForm": ["Statistiques de Kestrix", "Processeurs :", "Charge du processeur :",
                        "Application accélérée :", "Sa classe de priorité :", "Lignes intégrées actives :",
                        "Vos lignes :", "Dernière mise à jour :", "jamais", "&Fermer"],
        "KXTestForm": ["Auto-test de Kestrix", "KestrixTray est lancé", "Les paramètres peuvent être enregistrés",
                       "Le fichier de la liste d'exclusion est lisible", "OK", "Problème",
                       "Pas encore de fichier : seules les lignes intégrées s'appliquent", "&Vérifier à nouveau",
                       "&Fermer"],
        "KXAboutForm": ["À propos de Kestrix", "Version", "Édité par VELMOR", "Vérifier les mises à &jour",
                        "&Fermer"],
        "KXMessages": ["Les paramètres sont enregistrés. KestrixTray les applique dès la seconde suivante.",
                       "KestrixTray affichera la nouvelle langue dans son menu au prochain démarrage.",
                       "Les paramètres n'ont pas pu être enregistrés : Windows a refusé l'écriture. Réinstallez "
                       "Kestrix ou lancez ce programme en tant qu'administrateur.",
                       "Le lancement avec Windows n'a pas pu être modifié : il faut les droits d'administrateur.",
                       "Enregistré. KestrixTray lit la nouvelle liste dans la seconde.",
                       "Saisissez le texte à chercher.",
                       "Le texte et la description ne peuvent pas contenir de saut de ligne.",
                       "Choisissez où chercher.",
                       "La liste d'exclusion n'a pas pu être enregistrée : Windows a refusé l'écriture du fichier.",
                       "Le fichier de la liste est utilisé par un autre programme. Réessayez dans un instant.",
                       "Le fichier de la liste est illisible. Il sera conservé sous Kestrix.csv.bak à "
                       "l'enregistrement.",
                       "La liste est enregistrée, mais KestrixTray n'a pas pu être prévenu : les paramètres sont en "
                       "lecture seule.",
                       "Cette ligne est déjà dans la liste.", "Choisissez d'abord une ligne.",
                       "Le fichier n'est pas lu jusqu'au bout (un caractère NUL, ou de l'UTF-16 sans marque). Il sera "
                       "conservé sous Kestrix.csv.bak à l'enregistrement.",
                       "Le fichier est en UTF-8 sans marque et s'affiche tel que KestrixTray le lit. Il sera conservé "
                       "sous Kestrix.csv.bak à l'enregistrement.",
                       "La liste a été modifiée ailleurs entre-temps. Elle s'affiche telle qu'elle est : refaites "
                       "votre modification.",
                       "Non enregistré : KestrixTray ne lit pas une liste aussi grande (4 Mio, 65 536 lignes, 4 096 "
                       "caractères par ligne). Le fichier est inchangé.",
                       "Le texte et la description sont trop longs pour une ligne (4 096 caractères au plus).",
                       "Le dossier de la liste d'exclusion est absent : la liste ne peut pas être enregistrée. Réparez l'installation en relançant le programme d'installation de Kestrix.",
                       "Kestrix ne peut pas démarrer avec Windows : aucune copie installée n'est enregistrée sur cet ordinateur. Réparez l'installation en relançant le programme d'installation de Kestrix.",
                       "Non enregistré : le nouveau fichier dans lequel la liste est d'abord écrite s'est révélé être un lien ou le fichier d'un autre compte, donc rien n'a été écrit. Réessayez ; si cela se reproduit, demandez à un administrateur de vérifier le dossier de données."],
        "KXUpdateForm": ["Mise à jour Kestrix", "Interrogation du serveur de mise à jour...",
                         "Une mise à jour de Kestrix est disponible.", "Kestrix est à jour.",
                         "Le serveur de mise à jour est injoignable. Vérifiez la connexion Internet et réessayez.",
                         "&Ouvrir la page de téléchargement", "&Réessayer", "&Fermer"],
    },
    "KOREAN": {
        "KXMainForm": ["현재 가속 중:", "현재 가속 중인 프로그램이 없습니다.", "제외 목록에 추가(&A)", "고급 설정(&D)",
                       "통계(&T)", "자체 점검(&K)", "도움말(&H)", "KestrixTray 실행 중입니다.",
                       "KestrixTray가 실행되고 있지 않습니다.", "KestrixTray 시작(&T)"],
        "KXSettingsForm": ["Kestrix 설정", "앞에 있는 프로그램의 우선 순위:", "낮음 (유휴)", "보통 이하", "보통",
                           "보통 이상", "높음 (권장)", "실시간",
                           "주의: 실시간은 앞에 있는 프로그램에 요청하는 모든 프로세서 시간을 줍니다. 마우스, 키보드와 "
                           "다른 프로그램이 응답하지 않을 수 있습니다.",
                           "가장 적게 사용된 프로세서로 옮기기(&L)", "알림 영역에 부하 그래프 표시(&N)", "언어(&L):",
                           "Windows와 함께 KestrixTray 시작(&W)", "저장(&S)", "닫기(&C)",
                           "앞에 온 프로그램을 즉시 가속(&I)",
                           "KestrixTray 종료 시 마지막 프로그램 복원(&R)",
                           "각 열에 가장 바쁜 프로세서 표시(&B)", "Windows가 어두운 테마일 때 어두운 색 사용(&D)"],
        "KXAdvancedSettingsForm": ["Kestrix 고급 설정", "부하 그래프 색:", "배경", "격자", "막대", "선택...",
                                   "기본값", "저장(&S)", "닫기(&C)", "가장 바쁜 프로세서"],
        "KXAddBlockListForm": ["Kestrix 제외 목록", "기본 항목(&B) (선택을 해제하면 가속합니다):", "사용자 항목(&Y):",
                               "찾을 곳(&I):", "창 클래스", "창 제목", "프로그램 경로", "찾을 텍스트(&T):",
                               "설명(&D):", "추가(&A)", "변경(&H)", "삭제(&D)", "실행 중인 창(&R):", "사용(&U)",
                               "새로 고침(&R)", "닫기(&C)"],
        "KXStatsForm": ["Kestrix 통계", "프로세서:", "프로세서 부하:", "가속 중인 프로그램:", "우선 순위 클래스:",
                        "적용 중인 기본 항목:", "사용자 항목:", "마지막 업데이트:", "없음", "닫기(&C)"],
        "KXTestForm": ["Kestrix 자체 점검", "KestrixTray 실행 중", "설정을 저장할 수 있음",
                       "제외 목록 파일을 읽을 수 있음", "정상", "문제", "파일 없음: 기본 항목만 적용됩니다",
                       "다시 점검(&A)", "닫기(&C)"],
        "KXAboutForm": ["Kestrix 정보", "버전", "VELMOR 제작", "업데이트 체크(&U)", "닫기(&C)"],
        "KXMessages": ["설정을 저장했습니다. KestrixTray가 다음 초부터 적용합니다.",
                       "KestrixTray 메뉴의 언어는 다음 시작 때 바뀝니다.",
                       "설정을 저장하지 못했습니다: Windows가 쓰기를 거부했습니다. Kestrix를 다시 설치하거나 "
                       "관리자 권한으로 실행하세요.",
                       "Windows 시작 설정을 바꾸지 못했습니다: 관리자 권한이 필요합니다.",
                       "저장했습니다. KestrixTray가 1초 안에 새 목록을 읽습니다.", "찾을 텍스트를 입력하세요.",
                       "텍스트와 설명에는 줄 바꿈을 넣을 수 없습니다.", "찾을 곳을 선택하세요.",
                       "제외 목록을 저장하지 못했습니다: Windows가 파일 쓰기를 거부했습니다.",
                       "다른 프로그램이 제외 목록 파일을 사용 중입니다. 잠시 후 다시 시도하세요.",
                       "제외 목록 파일을 읽을 수 없습니다. 저장하면 Kestrix.csv.bak으로 보관됩니다.",
                       "목록을 저장했지만 KestrixTray에 알리지 못했습니다: 설정이 읽기 전용입니다.",
                       "이미 목록에 있는 항목입니다.", "먼저 항목을 선택하세요.",
                       "파일을 끝까지 읽지 못했습니다(NUL 문자 또는 표시 없는 UTF-16). 저장할 때 Kestrix.csv.bak으로 "
                       "보관됩니다.",
                       "이 파일은 표시 없는 UTF-8이며 KestrixTray가 읽는 대로 표시됩니다. 저장할 때 Kestrix.csv.bak으로 "
                       "보관됩니다.",
                       "그동안 다른 곳에서 목록이 변경되었습니다. 현재 상태로 표시되니 변경을 다시 하세요.",
                       "저장하지 않았습니다: KestrixTray는 이렇게 큰 목록을 읽지 않습니다(4 MiB, 65,536행, 한 줄 "
                       "4,096자). 파일은 그대로입니다.",
                       "텍스트와 설명이 한 항목으로는 너무 깁니다(최대 4,096자).",
                       "제외 목록 폴더가 없어 목록을 저장할 수 없습니다. Kestrix 설치 프로그램을 다시 실행하여 설치를 복구하십시오.",
                       "이 컴퓨터에 설치된 Kestrix가 기록되어 있지 않아 Windows와 함께 시작할 수 없습니다. Kestrix 설치 프로그램을 다시 실행하여 설치를 복구하십시오.",
                       "저장하지 않았습니다: 목록을 먼저 쓰는 새 파일이 링크이거나 다른 계정의 파일이어서 아무것도 쓰지 않았습니다. 다시 시도하고, 다시 발생하면 관리자에게 데이터 폴더를 확인해 달라고 하세요."],
        "KXUpdateForm": ["Kestrix 업데이트", "업데이트 서버에 묻는 중...", "Kestrix 업데이트가 있습니다.",
                         "Kestrix가 최신입니다.", "업데이트 서버에 연결할 수 없습니다. 인터넷 연결을 확인하고 다시 시도하세요.",
                         "다운로드 페이지 열기(&O)", "다시 시도(&T)", "닫기(&C)"],
    },
    "PRTBRZL": {
        "KXMainForm": ["Acelerado agora:", "Nenhum aplicativo está sendo acelerado no momento.",
                       "&Adicionar à lista de bloqueio", "Configurações a&vançadas", "Es&tatísticas",
                       "Autoteste (&K)", "A&juda", "O KestrixTray está em execução.",
                       "O KestrixTray não está em execução.", "Iniciar o Kestrix&Tray"],
        "KXSettingsForm": ["Configurações do Kestrix", "Prioridade do aplicativo em primeiro plano:",
                           "Baixa (ociosa)", "Abaixo do normal", "Normal", "Acima do normal", "Alta (recomendada)",
                           "Tempo real",
                           "Atenção: tempo real dá ao aplicativo em primeiro plano todo o tempo de processador que ele "
                           "pedir. O mouse, o teclado e outros programas podem parar de responder até ele terminar.",
                           "Mover o aplicativo para o processador &menos usado",
                           "Mostrar o gráfico de carga na área de &notificação", "&Idioma:",
                           "Iniciar o KestrixTray com o &Windows", "&Salvar", "&Fechar",
                           "Acelerar o aplicativo &assim que vier para o primeiro plano",
                           "&Restaurar o último aplicativo ao encerrar o KestrixTray",
                           "Marcar o processador mais &ocupado em cada coluna", "Cores &escuras quando o Windows usa o tema escuro"],
        "KXAdvancedSettingsForm": ["Configurações avançadas do Kestrix", "Cores do gráfico de carga:", "Fundo",
                                   "Grade", "Barras", "Escolher...", "Padrão", "&Salvar", "&Fechar", "Processador mais ocupado"],
        "KXAddBlockListForm": ["Lista de bloqueio do Kestrix",
                               "Linhas &embutidas (desmarque para acelerar o aplicativo):", "&Suas linhas:",
                               "Procurar &em:", "Classe da janela", "Título da janela", "Caminho do programa",
                               "&Texto a procurar:", "&Descrição:", "&Adicionar", "&Alterar", "E&xcluir",
                               "&Janelas abertas:", "&Usar", "Atuali&zar", "&Fechar"],
        "KXStatsForm": ["Estatísticas do Kestrix", "Processadores:", "Carga do processador:",
                        "Aplicativo acelerado:", "Sua classe de prioridade:", "Linhas embutidas em vigor:",
                        "Suas linhas:", "Última atualização:", "nunca", "&Fechar"],
        "KXTestForm": ["Autoteste do Kestrix", "O KestrixTray está em execução", "As configurações podem ser salvas",
                       "O arquivo da lista de bloqueio pode ser lido", "OK", "Problema",
                       "Ainda sem arquivo: só as linhas embutidas valem", "Verificar &novamente", "&Fechar"],
        "KXAboutForm": ["Sobre o Kestrix", "Versão", "Feito pela VELMOR", "Verificar por &atualizações",
                        "&Fechar"],
        "KXMessages": ["As configurações foram salvas. O KestrixTray as usa a partir do próximo segundo.",
                       "O KestrixTray mostra o novo idioma no menu depois de iniciar de novo.",
                       "Não foi possível salvar as configurações: o Windows recusou a gravação. Instale o Kestrix "
                       "de novo ou execute este programa como administrador.",
                       "Não foi possível mudar o início com o Windows: são necessários direitos de administrador.",
                       "Salvo. O KestrixTray lê a nova lista em um segundo.", "Digite o texto a procurar.",
                       "O texto e a descrição não podem ter quebras de linha.", "Escolha onde procurar.",
                       "Não foi possível salvar a lista de bloqueio: o Windows recusou gravar o arquivo.",
                       "O arquivo da lista está em uso por outro programa. Tente de novo em instantes.",
                       "O arquivo da lista não pode ser lido. Ele é guardado como Kestrix.csv.bak ao salvar.",
                       "A lista foi salva, mas o KestrixTray não pôde ser avisado: as configurações são somente "
                       "leitura.",
                       "Esta linha já está na lista.", "Escolha uma linha primeiro.",
                       "O arquivo não é lido até o fim (um caractere NUL, ou UTF-16 sem marca). Ele é guardado como "
                       "Kestrix.csv.bak ao salvar.",
                       "O arquivo é UTF-8 sem marca e é mostrado como o KestrixTray o lê. Ele é guardado como "
                       "Kestrix.csv.bak ao salvar.",
                       "A lista foi alterada em outro lugar nesse meio tempo. Ela é mostrada como está agora: faça "
                       "sua alteração de novo.",
                       "Não salvo: o KestrixTray não lê uma lista tão grande (4 MiB, 65.536 linhas, 4.096 caracteres "
                       "por linha). O arquivo não mudou.",
                       "O texto e a descrição são longos demais para uma linha (no máximo 4.096 caracteres).",
                       "A pasta da lista de bloqueio não existe, então a lista não pode ser salva. Repare a instalação executando novamente o instalador do Kestrix.",
                       "O Kestrix não pode iniciar com o Windows: nenhuma cópia instalada está registrada neste computador. Repare a instalação executando novamente o instalador do Kestrix.",
                       "Não salvo: o novo arquivo em que a lista é gravada primeiro era um link ou um arquivo de outra conta, então nada foi gravado. Tente de novo; se acontecer outra vez, peça a um administrador que verifique a pasta de dados."],
        "KXUpdateForm": ["Atualização do Kestrix", "Consultando o servidor de atualização...",
                         "Há uma atualização do Kestrix disponível.", "O Kestrix está atualizado.",
                         "O servidor de atualização não respondeu. Verifique a conexão com a Internet e tente de novo.",
                         "&Abrir a página de download", "&Tentar de novo", "&Fechar"],
    },
    "RUSSIAN": {
        "KXMainForm": ["Сейчас ускоряется:", "Сейчас ни одно приложение не ускоряется.",
                       "&Добавить в список исключений", "Дополнительные &настройки", "С&татистика",
                       "Само&проверка", "&Помощь", "KestrixTray запущен.", "KestrixTray не запущен.",
                       "Запустить Kestrix&Tray"],
        "KXSettingsForm": ["Настройки Kestrix", "Приоритет активного приложения:", "Низкий (простой)",
                           "Ниже среднего", "Обычный", "Выше среднего", "Высокий (рекомендуется)",
                           "Реального времени",
                           "Внимание: приоритет реального времени отдаёт активному приложению всё процессорное время, "
                           "которое оно просит. Мышь, клавиатура и другие программы могут перестать отвечать.",
                           "Переносить приложение на &наименее загруженный процессор",
                           "Показывать график загрузки в области &уведомлений", "&Язык:",
                           "Запускать KestrixTray вместе с &Windows", "&Сохранить", "&Закрыть",
                           "Ускорять приложение &сразу, как только оно становится активным",
                           "&Возвращать последнее приложение при выходе из KestrixTray",
                           "Отмечать самый &загруженный процессор в каждом столбце", "&Тёмные цвета при тёмной теме Windows"],
        "KXAdvancedSettingsForm": ["Дополнительные настройки Kestrix", "Цвета графика загрузки:", "Фон", "Сетка",
                                   "Столбцы", "Выбрать...", "По умолчанию", "&Сохранить", "&Закрыть", "Самый загруженный процессор"],
        "KXAddBlockListForm": ["Список исключений Kestrix",
                               "&Встроенные строки (снимите флажок, чтобы ускорять приложение):", "&Ваши строки:",
                               "&Где искать:", "Класс окна", "Заголовок окна", "Путь к программе",
                               "&Текст для поиска:", "&Описание:", "&Добавить", "&Изменить", "&Удалить",
                               "&Открытые окна:", "&Взять", "&Обновить", "&Закрыть"],
        "KXStatsForm": ["Статистика Kestrix", "Процессоры:", "Загрузка процессора:", "Ускоряемое приложение:",
                        "Его класс приоритета:", "Действующие встроенные строки:", "Ваши строки:",
                        "Последнее обновление:", "никогда", "&Закрыть"],
        "KXTestForm": ["Самопроверка Kestrix", "KestrixTray запущен", "Настройки можно сохранить",
                       "Файл списка исключений читается", "OK", "Проблема",
                       "Файла ещё нет: действуют только встроенные строки", "Проверить &снова", "&Закрыть"],
        "KXAboutForm": ["О программе Kestrix", "Версия", "Разработчик: VELMOR", "Проверить &обновления",
                        "&Закрыть"],
        "KXMessages": ["Настройки сохранены. KestrixTray применит их со следующей секунды.",
                       "KestrixTray покажет новый язык в меню после следующего запуска.",
                       "Не удалось сохранить настройки: Windows запретила запись. Переустановите Kestrix или "
                       "запустите эту программу от имени администратора.",
                       "Не удалось изменить запуск вместе с Windows: нужны права администратора.",
                       "Сохранено. KestrixTray прочитает новый список в течение секунды.",
                       "Введите текст для поиска.", "Текст и описание не могут содержать переводы строк.",
                       "Выберите, где искать.",
                       "Не удалось сохранить список исключений: Windows запретила запись файла.",
                       "Файл списка занят другой программой. Повторите попытку через мгновение.",
                       "Файл списка не читается. При сохранении он будет сохранён как Kestrix.csv.bak.",
                       "Список сохранён, но KestrixTray не удалось уведомить: настройки доступны только для чтения.",
                       "Эта строка уже есть в списке.", "Сначала выберите строку.",
                       "Файл прочитан не до конца (символ NUL или UTF-16 без метки). При сохранении он будет "
                       "сохранён как Kestrix.csv.bak.",
                       "Файл в UTF-8 без метки и показан так, как его читает KestrixTray. При сохранении он будет "
                       "сохранён как Kestrix.csv.bak.",
                       "Список тем временем изменили в другом месте. Он показан в текущем виде: внесите изменение "
                       "заново.",
                       "Не сохранено: KestrixTray не читает такой большой список (4 МиБ, 65 536 строк, 4 096 символов "
                       "в строке). Файл не изменён.",
                       "Текст и описание слишком длинные для одной строки (не более 4 096 символов).",
                       "Папка списка исключений отсутствует, поэтому список нельзя сохранить. Восстановите установку, запустив программу установки Kestrix ещё раз.",
                       "Kestrix не может запускаться вместе с Windows: на этом компьютере не записана установленная копия. Восстановите установку, запустив программу установки Kestrix ещё раз.",
                       "Не сохранено: новый файл, в который сначала записывается список, оказался ссылкой или файлом другой учётной записи, поэтому ничего не записано. Повторите попытку; если это повторится, попросите администратора проверить папку данных."],
        "KXUpdateForm": ["Обновление Kestrix", "Запрос к серверу обновлений...", "Доступно обновление Kestrix.",
                         "У вас последняя версия Kestrix.",
                         "Сервер обновлений недоступен. Проверьте подключение к Интернету и повторите попытку.",
                         "&Открыть страницу загрузки", "&Повторить", "&Закрыть"],
    },
}


# Rows added to a group after its others: group, key, then the text in each table.
ADDED_ROWS = [
    # After a setting's caption when a policy of the organisation sets it.
    ("KXMessages", "PolicySet", {"ENGLISH": "(set by your organisation)",
                                 "FRENCH": "(défini par votre organisation)",
                                 "KOREAN": "(조직에서 설정함)",
                                 "PRTBRZL": "(definido pela sua organização)",
                                 "RUSSIAN": "(задано вашей организацией)"}),
]
for _group, _key, _texts in ADDED_ROWS:
    PRODUCT_KEYS[_group].append(_key)
    for _table, _text in _texts.items():
        PRODUCT_TEXTS[_table][_group].append(_text)
# What KestrixTray tells of its last look: the tooltip's second line, the
# main program's first page, and the two switches of the settings window.
# "%1" is the program, "%2" the class (or the row's pattern, or the cores), "%3" the class asked.
STATUS_KEYS = ["Raised", "RaisedAsked", "OnCores", "PerformanceCores", "LargeCacheCores", "EfficiencyCores",
               "BlockedBuiltIn", "BlockedUser", "RefusedDenied", "RefusedEnded", "RefusedUnchanged", "Own",
               "ClassIdle", "ClassBelow", "ClassNormal", "ClassAbove", "ClassHigh", "ClassRealtime",
               "LastLookLabel", "NoLook", "CorePlacementCheck", "ShowStatusCheck"]

STATUS_TEXTS = {
    "ENGLISH": ["%1 raised to %2", "%1 given %2 (%3 asked)", "%1, on the %2", "performance cores",
                "large-cache cores", "efficiency cores", '%1 not raised: blocked by the built-in row "%2"',
                '%1 not raised: blocked by your row "%2"', "%1 not raised: it runs as administrator or is protected",
                "%1 not raised: it has ended", "%1 not raised: Windows refused the change", "Kestrix's own window",
                "low", "below normal", "normal", "above normal", "high", "realtime", "Last look:",
                "Nothing looked at yet.", "Put the application on the &best cores (performance or large cache)",
                "Show what happened to the application in the icon's &tooltip"],
    "FRENCH": ["%1 passé en priorité %2", "%1 en priorité %2 (%3 demandée)", "%1, sur les %2",
               "cœurs performants", "cœurs à grand cache", "cœurs économes",
               "%1 non accéléré : exclu par la ligne intégrée « %2 »", "%1 non accéléré : exclu par votre ligne « %2 »",
               "%1 non accéléré : il s'exécute en tant qu'administrateur ou est protégé",
               "%1 non accéléré : il s'est terminé", "%1 non accéléré : Windows a refusé le changement",
               "Fenêtre de Kestrix elle-même", "basse", "inférieure à la normale", "normale",
               "supérieure à la normale", "haute", "temps réel", "Dernier examen :",
               "Aucune fenêtre examinée pour l'instant.",
               "Placer l'application sur les &meilleurs cœurs (performants ou à grand cache)",
               "Afficher dans l'&info-bulle de l'icône ce qui est arrivé à l'application"],
    "KOREAN": ["%1: %2(으)로 올림", "%1: %2 적용됨 (%3 요청)", "%1, %2에서 실행", "성능 코어", "대용량 캐시 코어",
               "효율 코어", '%1 가속 안 됨: 기본 제외 항목 "%2"에 해당', '%1 가속 안 됨: 사용자 제외 항목 "%2"에 해당',
               "%1 가속 안 됨: 관리자 권한으로 실행 중이거나 보호된 프로세스", "%1 가속 안 됨: 프로세스가 종료됨",
               "%1 가속 안 됨: Windows가 변경을 거부함", "Kestrix 자체 창", "낮음", "보통 미만", "보통", "보통 초과",
               "높음", "실시간", "마지막 확인:", "아직 확인한 창이 없습니다.",
               "프로그램을 최적의 코어에서 실행(성능 또는 대용량 캐시)(&B)",
               "프로그램에 일어난 일을 아이콘 도구 설명에 표시(&T)"],
    "PRTBRZL": ["%1 elevado à prioridade %2", "%1 em prioridade %2 (%3 solicitada)", "%1, nos %2",
                "núcleos de desempenho", "núcleos de cache grande", "núcleos de eficiência",
                '%1 não acelerado: bloqueado pela linha interna "%2"', '%1 não acelerado: bloqueado pela sua linha "%2"',
                "%1 não acelerado: é executado como administrador ou é protegido", "%1 não acelerado: o processo terminou",
                "%1 não acelerado: o Windows recusou a alteração", "Janela do próprio Kestrix", "baixa",
                "abaixo do normal", "normal", "acima do normal", "alta", "tempo real", "Última verificação:",
                "Nenhuma janela verificada ainda.",
                "Colocar o aplicativo nos &melhores núcleos (desempenho ou cache grande)",
                "Mostrar na &dica do ícone o que aconteceu com o aplicativo"],
    "RUSSIAN": ["%1: приоритет повышен до «%2»", "%1: приоритет «%2» (запрошен «%3»)", "%1; %2",
                "производительные ядра", "ядра с большим кэшем", "энергоэффективные ядра",
                "%1 не ускорено: исключено встроенной строкой «%2»", "%1 не ускорено: исключено вашей строкой «%2»",
                "%1 не ускорено: запущено от имени администратора или защищено", "%1 не ускорено: процесс завершён",
                "%1 не ускорено: Windows отклонила изменение", "Собственное окно Kestrix", "низкий",
                "ниже среднего", "обычный", "выше среднего", "высокий", "реального времени", "Последняя проверка:",
                "Окна ещё не проверялись.",
                "Запускать приложение на &лучших ядрах (производительных или с большим кэшем)",
                "Показывать во &всплывающей подсказке значка, что произошло с приложением"],
}

PRODUCT_KEYS["KXStatus"] = STATUS_KEYS
for _language, _texts in STATUS_TEXTS.items():
    PRODUCT_TEXTS[_language]["KXStatus"] = _texts


def product_groups(name):
    """The rows of the main program's other windows and of the updater, grouped."""
    groups = []
    for form, keys in PRODUCT_KEYS.items():
        texts = PRODUCT_TEXTS[name][form]
        assert len(texts) == len(keys), (name, form)
        groups.append(["%s, %s, %s" % (form, key, quoted(text)) for key, text in zip(keys, texts)])
    return groups


def table_text(texts, name=None):
    main = ["KXMainForm, %s, %s" % (key, quoted(text)) for key, text in zip(MAIN_KEYS, texts["main"])]
    tray = ["KXTrayForm, %s, %s" % (key, quoted(text)) for key, text in zip(TRAY_KEYS, texts["tray"])]
    if name in PRODUCT_TEXTS:
        groups = product_groups(name)
        main = main + groups[0]  # the main window's further rows join its group
        for group in groups[1:]:
            main = main + [""] + group
    return "\r\n".join(main + [""] + tray)


def encode(text, encoding):
    if encoding == "utf-16":
        return b"\xff\xfe" + text.encode("utf-16-le")
    if encoding == "utf-8-bom":
        return b"\xef\xbb\xbf" + text.encode("utf-8")
    if encoding == "cp1252":
        # Without a mark a table is read in the system's code page: only ASCII reads alike in all of them.
        assert text.isascii(), "a table without a byte-order mark must hold ASCII only"
    return text.encode(encoding)


def contract_groups(folder):
    """The caption groups the programs' shared contract names (src/config/Contract.def)."""
    import re
    path = os.path.join(folder, "..", "..", "src", "config", "Contract.def")
    with open(path, encoding="ascii") as definitions:
        return set(re.findall(r'^KX_CAPTION_GROUP\(\w+, "(\w+)"\)$', definitions.read(), re.M))


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    # Every group written is one the programs look up, and each one they look up is written.
    written = {"KXMainForm", "KXTrayForm"} | set(PRODUCT_KEYS)
    assert written == contract_groups(folder), sorted(written ^ contract_groups(folder))
    for name, (encoding, texts) in TABLES.items():
        assert len(texts["tray"]) == len(TRAY_KEYS) and len(texts["main"]) == len(MAIN_KEYS)
        with open(os.path.join(folder, name + ".txt"), "wb") as out:
            out.write(encode(table_text(texts, name), encoding))
    return 0


if __name__ == "__main__":
    sys.exit(main())
