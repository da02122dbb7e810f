#!/usr/bin/env python3
"""Writes the Group Policy templates of Kestrix: Kestrix.admx and, for each
language the programs carry, <culture>/Kestrix.adml.

Every policy writes a value of the same name and type as the settings value
it stands for (src/config/Contract.def), under HKLM\\Software\\Policies\\VELMOR\\
Kestrix, where KestrixTray and the main program look first. Adding a policy
is one entry of POLICIES and its texts in each language of TEXTS; then run
this again and commit the files it writes (tests/static/check_policy_templates.py
checks them against the contract).
"""
import os
import sys
from xml.sax.saxutils import escape

NAMESPACE = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
KEY = r"Software\Policies\VELMOR\Kestrix"

# name, kind: switch (REG_DWORD 1/0), priority (REG_DWORD enum, -2..3),
# language (REG_SZ enum), text (REG_SZ), rows (REG_MULTI_SZ).
POLICIES = [
    ("ProcessorPriority", "priority"),
    ("ProcessorIdeal", "switch"),
    ("InstantBoost", "switch"),
    ("RestoreOnExit", "switch"),
    ("LoadTrayIcon", "switch"),
    ("LoadKestrix", "switch"),
    ("Language", "language"),
    ("BackgroundColor", "text"),
    ("GridColor", "text"),
    ("BarColor", "text"),
    ("CorePlacement", "switch"),
    ("ShowStatus", "switch"),
    ("BusiestCore", "switch"),
    ("FollowTheme", "switch"),
    ("BusiestColor", "text"),
    ("UpdateCheck", "switch"),
    ("BlockRows", "rows"),
]

PRIORITIES = [(-2, "PriorityIdle"), (-1, "PriorityBelow"), (0, "PriorityNormal"), (1, "PriorityAbove"),
              (2, "PriorityHigh"), (3, "PriorityRealtime")]
LANGUAGES = ["english", "french", "korean", "prtbrzl", "russian"]

# Per culture: the shared strings, then per policy (display name, explanation, label of its box).
TEXTS = {
    "en-US": {
        "Category": "Kestrix",
        "SupportedWin7": "Windows 7 or later",
        "PriorityIdle": "Low (idle)", "PriorityBelow": "Below normal", "PriorityNormal": "Normal",
        "PriorityAbove": "Above normal", "PriorityHigh": "High", "PriorityRealtime": "Realtime",
        "LanguageNames": ["English", "French", "Korean", "Brazilian Portuguese", "Russian"],
        "ProcessorPriority": ("Priority of the application in front",
                              "Sets the priority class KestrixTray gives the program the user works in. "
                              "Not configured: the user's choice applies.", "Priority:"),
        "ProcessorIdeal": ("Move the application in front to the least used processor",
                           "Enabled: KestrixTray moves the threads of the program in front to the processor least "
                           "used since its previous move. Disabled: it never moves them.", None),
        "InstantBoost": ("Raise the application at once when it comes to the front",
                         "Enabled: the program is raised as soon as its window comes to the front. Disabled: at "
                         "KestrixTray's next one-second look.", None),
        "RestoreOnExit": ("Put the last application back when KestrixTray ends",
                          "Enabled: when KestrixTray ends, the program it raised last gets its earlier priority "
                          "class back. Disabled: it keeps the raised class.", None),
        "LoadTrayIcon": ("Show the load graph in the notification area",
                         "Enabled: KestrixTray shows its icon. Disabled: it runs without an icon.", None),
        "LoadKestrix": ("Start KestrixTray at sign-in",
                        "Enabled: KestrixTray starts at sign-in. Disabled: the sign-in start does nothing "
                        "(a start by hand still runs). Takes effect at the next sign-in.", None),
        "Language": ("Language of KestrixTray and the main program",
                     "Sets the language of the menu, the notice and the main program's windows. Takes effect "
                     "at KestrixTray's next start.", "Language:"),
        "BackgroundColor": ("Colour of the load graph's field",
                            "A colour name (clWhite, clBlue, ...) or a number in blue-green-red order "
                            "($00FF8000).", "Colour:"),
        "GridColor": ("Colour of the load graph's grid",
                      "A colour name (clGray, clTeal, ...) or a number in blue-green-red order ($00808080).",
                      "Colour:"),
        "BarColor": ("Colour of the load graph's bars",
                     "A colour name (clWhite, clLime, ...) or a number in blue-green-red order ($00FF8000).",
                     "Colour:"),
        "UpdateCheck": ("Check for updates every day",
                        "Disabled: KestrixTray never asks the update server and shows no update notice. "
                        "Enabled or not configured: it checks once a day when the last update is old.", None),
        "BlockRows": ("Applications never accelerated",
                      "Block-list lines added after the user's rows, one a line, in the file's syntax: "
                      "+, kind, text, description (kind 0 window class with #, 1 window title, 2 program path).",
                      "Lines:"),
    },
    "fr-FR": {
        "Category": "Kestrix",
        "SupportedWin7": "Windows 7 ou version ultérieure",
        "PriorityIdle": "Basse (inactive)", "PriorityBelow": "Inférieure à la normale", "PriorityNormal": "Normale",
        "PriorityAbove": "Supérieure à la normale", "PriorityHigh": "Haute", "PriorityRealtime": "Temps réel",
        "LanguageNames": ["Anglais", "Français", "Coréen", "Portugais (Brésil)", "Russe"],
        "ProcessorPriority": ("Priorité de l'application au premier plan",
                              "Définit la classe de priorité que KestrixTray donne au programme de l'utilisateur. "
                              "Non configuré : le choix de l'utilisateur s'applique.", "Priorité :"),
        "ProcessorIdeal": ("Placer l'application sur le processeur le moins utilisé",
                           "Activé : KestrixTray place les threads du programme au premier plan sur le processeur "
                           "le moins utilisé depuis son déplacement précédent. Désactivé : jamais.", None),
        "InstantBoost": ("Accélérer l'application dès qu'elle passe au premier plan",
                         "Activé : le programme est accéléré dès que sa fenêtre passe au premier plan. "
                         "Désactivé : au prochain contrôle de KestrixTray, chaque seconde.", None),
        "RestoreOnExit": ("Rétablir la dernière application à la fermeture de KestrixTray",
                          "Activé : à la fermeture de KestrixTray, le dernier programme accéléré retrouve sa "
                          "classe de priorité antérieure. Désactivé : il la garde.", None),
        "LoadTrayIcon": ("Afficher le graphique dans la zone de notification",
                         "Activé : KestrixTray affiche son icône. Désactivé : il fonctionne sans icône.", None),
        "LoadKestrix": ("Démarrer KestrixTray à l'ouverture de session",
                        "Activé : KestrixTray démarre à l'ouverture de session. Désactivé : ce démarrage ne fait "
                        "rien (un démarrage manuel reste possible).", None),
        "Language": ("Langue de KestrixTray et du programme principal",
                     "Définit la langue du menu, de l'avis et des fenêtres du programme principal. Prend effet "
                     "au prochain démarrage de KestrixTray.", "Langue :"),
        "BackgroundColor": ("Couleur du fond du graphique",
                            "Un nom de couleur (clWhite, clBlue, ...) ou un nombre dans l'ordre bleu-vert-rouge "
                            "($00FF8000).", "Couleur :"),
        "GridColor": ("Couleur de la grille du graphique",
                      "Un nom de couleur (clGray, clTeal, ...) ou un nombre dans l'ordre bleu-vert-rouge "
                      "($00808080).", "Couleur :"),
        "BarColor": ("Couleur des barres du graphique",
                     "Un nom de couleur (clWhite, clLime, ...) ou un nombre dans l'ordre bleu-vert-rouge "
                     "($00FF8000).", "Couleur :"),
        "UpdateCheck": ("Rechercher les mises à jour chaque jour",
                        "Désactivé : KestrixTray n'interroge jamais le serveur de mises à jour et n'affiche aucun "
                        "avis. Activé ou non configuré : une recherche par jour quand la dernière mise à jour "
                        "est ancienne.", None),
        "BlockRows": ("Applications jamais accélérées",
                      "Lignes de la liste d'exclusion ajoutées après celles de l'utilisateur, une par ligne, dans "
                      "la syntaxe du fichier : +, type, texte, description (type 0 classe de fenêtre précédée "
                      "de #, 1 titre, 2 chemin du programme).", "Lignes :"),
    },
    "ko-KR": {
        "Category": "Kestrix",
        "SupportedWin7": "Windows 7 이상",
        "PriorityIdle": "낮음(유휴)", "PriorityBelow": "보통 미만", "PriorityNormal": "보통",
        "PriorityAbove": "보통 초과", "PriorityHigh": "높음", "PriorityRealtime": "실시간",
        "LanguageNames": ["영어", "프랑스어", "한국어", "포르투갈어(브라질)", "러시아어"],
        "ProcessorPriority": ("앞에 있는 프로그램의 우선 순위",
                              "KestrixTray가 사용자가 작업 중인 프로그램에 주는 우선 순위 클래스를 정합니다. "
                              "구성되지 않음: 사용자의 선택이 적용됩니다.", "우선 순위:"),
        "ProcessorIdeal": ("앞에 있는 프로그램을 가장 적게 사용된 프로세서로 옮기기",
                           "사용: KestrixTray가 앞에 있는 프로그램의 스레드를 이전 이동 이후 가장 적게 사용된 "
                           "프로세서로 옮깁니다. 사용 안 함: 옮기지 않습니다.", None),
        "InstantBoost": ("앞으로 오는 즉시 프로그램 가속화",
                         "사용: 창이 앞으로 오는 즉시 프로그램을 가속화합니다. 사용 안 함: KestrixTray의 다음 "
                         "1초 확인 때 가속화합니다.", None),
        "RestoreOnExit": ("KestrixTray 종료 시 마지막 프로그램 되돌리기",
                          "사용: KestrixTray가 끝날 때 마지막으로 가속화한 프로그램의 이전 우선 순위 클래스를 "
                          "되돌립니다. 사용 안 함: 그대로 둡니다.", None),
        "LoadTrayIcon": ("알림 영역에 부하 그래프 표시",
                         "사용: KestrixTray가 아이콘을 표시합니다. 사용 안 함: 아이콘 없이 실행됩니다.", None),
        "LoadKestrix": ("로그인할 때 KestrixTray 시작",
                        "사용: 로그인할 때 KestrixTray가 시작됩니다. 사용 안 함: 로그인 시작은 아무것도 하지 "
                        "않습니다(직접 시작은 가능).", None),
        "Language": ("KestrixTray와 주 프로그램의 언어",
                     "메뉴, 알림, 주 프로그램 창의 언어를 정합니다. KestrixTray를 다음에 시작할 때 "
                     "적용됩니다.", "언어:"),
        "BackgroundColor": ("부하 그래프 배경 색",
                            "색 이름(clWhite, clBlue, ...) 또는 파랑-초록-빨강 순서의 숫자($00FF8000).", "색:"),
        "GridColor": ("부하 그래프 격자 색",
                      "색 이름(clGray, clTeal, ...) 또는 파랑-초록-빨강 순서의 숫자($00808080).", "색:"),
        "BarColor": ("부하 그래프 막대 색",
                     "색 이름(clWhite, clLime, ...) 또는 파랑-초록-빨강 순서의 숫자($00FF8000).", "색:"),
        "UpdateCheck": ("매일 업데이트 확인",
                        "사용 안 함: KestrixTray가 업데이트 서버에 묻지 않고 알림을 표시하지 않습니다. 사용 또는 "
                        "구성되지 않음: 마지막 업데이트가 오래되면 하루에 한 번 확인합니다.", None),
        "BlockRows": ("가속화하지 않는 프로그램",
                      "사용자의 행 뒤에 추가되는 제외 목록 줄(한 줄에 하나, 파일 형식): +, 종류, 텍스트, 설명 "
                      "(종류 0 # 뒤의 창 클래스, 1 창 제목, 2 프로그램 경로).", "줄:"),
    },
    "pt-BR": {
        "Category": "Kestrix",
        "SupportedWin7": "Windows 7 ou posterior",
        "PriorityIdle": "Baixa (ociosa)", "PriorityBelow": "Abaixo do normal", "PriorityNormal": "Normal",
        "PriorityAbove": "Acima do normal", "PriorityHigh": "Alta", "PriorityRealtime": "Tempo real",
        "LanguageNames": ["Inglês", "Francês", "Coreano", "Português (Brasil)", "Russo"],
        "ProcessorPriority": ("Prioridade do aplicativo em primeiro plano",
                              "Define a classe de prioridade que o KestrixTray dá ao programa em que o usuário "
                              "trabalha. Não configurado: vale a escolha do usuário.", "Prioridade:"),
        "ProcessorIdeal": ("Mover o aplicativo para o processador menos usado",
                           "Habilitado: o KestrixTray move os threads do programa em primeiro plano para o "
                           "processador menos usado desde a mudança anterior. Desabilitado: nunca os move.", None),
        "InstantBoost": ("Acelerar o aplicativo assim que ele vier para a frente",
                         "Habilitado: o programa é acelerado assim que sua janela vem para a frente. Desabilitado: "
                         "na próxima verificação do KestrixTray, a cada segundo.", None),
        "RestoreOnExit": ("Restaurar o último aplicativo quando o KestrixTray terminar",
                          "Habilitado: quando o KestrixTray termina, o último programa acelerado volta à sua "
                          "classe de prioridade anterior. Desabilitado: ele a mantém.", None),
        "LoadTrayIcon": ("Mostrar o gráfico na área de notificação",
                         "Habilitado: o KestrixTray mostra seu ícone. Desabilitado: funciona sem ícone.", None),
        "LoadKestrix": ("Iniciar o KestrixTray ao entrar",
                        "Habilitado: o KestrixTray inicia ao entrar na sessão. Desabilitado: esse início não faz "
                        "nada (um início manual ainda funciona).", None),
        "Language": ("Idioma do KestrixTray e do programa principal",
                     "Define o idioma do menu, do aviso e das janelas do programa principal. Vale a partir do "
                     "próximo início do KestrixTray.", "Idioma:"),
        "BackgroundColor": ("Cor do fundo do gráfico",
                            "Um nome de cor (clWhite, clBlue, ...) ou um número na ordem azul-verde-vermelho "
                            "($00FF8000).", "Cor:"),
        "GridColor": ("Cor da grade do gráfico",
                      "Um nome de cor (clGray, clTeal, ...) ou um número na ordem azul-verde-vermelho "
                      "($00808080).", "Cor:"),
        "BarColor": ("Cor das barras do gráfico",
                     "Um nome de cor (clWhite, clLime, ...) ou um número na ordem azul-verde-vermelho "
                     "($00FF8000).", "Cor:"),
        "UpdateCheck": ("Verificar atualizações todos os dias",
                        "Desabilitado: o KestrixTray nunca consulta o servidor de atualizações e não mostra aviso. "
                        "Habilitado ou não configurado: verifica uma vez por dia quando a última atualização é "
                        "antiga.", None),
        "BlockRows": ("Aplicativos nunca acelerados",
                      "Linhas da lista de bloqueio acrescentadas depois das do usuário, uma por linha, na sintaxe "
                      "do arquivo: +, tipo, texto, descrição (tipo 0 classe da janela após #, 1 título, 2 caminho "
                      "do programa).", "Linhas:"),
    },
    "ru-RU": {
        "Category": "Kestrix",
        "SupportedWin7": "Windows 7 и более поздние версии",
        "PriorityIdle": "Низкий (простой)", "PriorityBelow": "Ниже среднего", "PriorityNormal": "Обычный",
        "PriorityAbove": "Выше среднего", "PriorityHigh": "Высокий", "PriorityRealtime": "Реального времени",
        "LanguageNames": ["Английский", "Французский", "Корейский", "Португальский (Бразилия)", "Русский"],
        "ProcessorPriority": ("Приоритет активного приложения",
                              "Задаёт класс приоритета, который KestrixTray даёт программе, с которой работает "
                              "пользователь. Не задано: действует выбор пользователя.", "Приоритет:"),
        "ProcessorIdeal": ("Переносить приложение на наименее загруженный процессор",
                           "Включено: KestrixTray переносит потоки активной программы на процессор, наименее "
                           "загруженный с предыдущего переноса. Отключено: не переносит.", None),
        "InstantBoost": ("Ускорять приложение сразу, как только оно станет активным",
                         "Включено: программа ускоряется, как только её окно становится активным. Отключено: при "
                         "следующей ежесекундной проверке KestrixTray.", None),
        "RestoreOnExit": ("Возвращать последнее приложение при завершении KestrixTray",
                          "Включено: при завершении KestrixTray последняя ускоренная программа получает прежний "
                          "класс приоритета. Отключено: она его сохраняет.", None),
        "LoadTrayIcon": ("Показывать график в области уведомлений",
                         "Включено: KestrixTray показывает значок. Отключено: работает без значка.", None),
        "LoadKestrix": ("Запускать KestrixTray при входе в систему",
                        "Включено: KestrixTray запускается при входе. Отключено: запуск при входе ничего не "
                        "делает (запуск вручную работает).", None),
        "Language": ("Язык KestrixTray и основной программы",
                     "Задаёт язык меню, уведомления и окон основной программы. Действует со следующего запуска "
                     "KestrixTray.", "Язык:"),
        "BackgroundColor": ("Цвет фона графика",
                            "Имя цвета (clWhite, clBlue, ...) или число в порядке синий-зелёный-красный "
                            "($00FF8000).", "Цвет:"),
        "GridColor": ("Цвет сетки графика",
                      "Имя цвета (clGray, clTeal, ...) или число в порядке синий-зелёный-красный ($00808080).",
                      "Цвет:"),
        "BarColor": ("Цвет столбцов графика",
                     "Имя цвета (clWhite, clLime, ...) или число в порядке синий-зелёный-красный ($00FF8000).",
                     "Цвет:"),
        "UpdateCheck": ("Проверять обновления каждый день",
                        "Отключено: KestrixTray не обращается к серверу обновлений и не показывает уведомление. "
                        "Включено или не задано: проверяет раз в день, если последнее обновление старое.", None),
        "BlockRows": ("Приложения, которые никогда не ускоряются",
                      "Строки списка исключений, добавляемые после строк пользователя, по одной в строке, в "
                      "синтаксисе файла: +, вид, текст, описание (вид 0 класс окна после #, 1 заголовок окна, "
                      "2 путь к программе).", "Строки:"),
    },
}



# Texts of the policies for the placement, status, busiest-processor and theme settings.
_ADDED_TEXTS = {'en-US': {'CorePlacement': ('Put the application in front on the best cores', 'Enabled: on Windows 10 and later the program in front runs on the performance cores of a hybrid processor, or on the cores that share the largest cache. Disabled: KestrixTray does not choose its processors.', None), 'ShowStatus': ('Show what happened to the application in the tooltip', 'Enabled: the tooltip of the icon says on a second line what the last look did. Disabled: the tooltip shows the name only.', None), 'BusiestCore': ('Mark the busiest processor in the graph', 'Enabled: each column of the graph also marks the load of the busiest processor. Disabled: the graph shows the whole computer only.', None), 'FollowTheme': ('Dark graph colours with the dark theme', 'Enabled: the graph colours not set otherwise turn dark while Windows uses its dark theme. Disabled: the usual colours stay.', None), 'BusiestColor': ('Colour of the busiest processor mark', 'A colour name (clRed, clYellow, ...) or a number in blue-green-red order ($000000FF).', 'Colour:')}, 'fr-FR': {'CorePlacement': ("Placer l'application au premier plan sur les meilleurs cœurs", "Activé : sous Windows 10 et versions ultérieures, le programme au premier plan s'exécute sur les cœurs performants d'un processeur hybride, ou sur les cœurs qui partagent le plus grand cache. Désactivé : KestrixTray ne choisit pas ses processeurs.", None), 'ShowStatus': ("Afficher dans l'info-bulle ce qui est arrivé à l'application", "Activé : l'info-bulle de l'icône indique sur une deuxième ligne ce qu'a fait le dernier examen. Désactivé : l'info-bulle n'affiche que le nom.", None), 'BusiestCore': ('Marquer le processeur le plus occupé dans le graphique', "Activé : chaque colonne du graphique marque aussi la charge du processeur le plus occupé. Désactivé : le graphique ne montre que l'ordinateur entier.", None), 'FollowTheme': ('Couleurs sombres du graphique avec le thème sombre', 'Activé : les couleurs du graphique non définies par ailleurs deviennent sombres quand Windows utilise son thème sombre. Désactivé : les couleurs habituelles restent.', None), 'BusiestColor': ('Couleur de la marque du processeur le plus occupé', "Un nom de couleur (clRed, clYellow, ...) ou un nombre dans l'ordre bleu-vert-rouge ($000000FF).", 'Couleur :')}, 'ko-KR': {'CorePlacement': ('앞에 있는 프로그램을 최적의 코어에서 실행', '사용: Windows 10 이상에서 앞에 있는 프로그램이 하이브리드 프로세서의 성능 코어 또는 가장 큰 캐시를 공유하는 코어에서 실행됩니다. 사용 안 함: KestrixTray가 프로세서를 선택하지 않습니다.', None), 'ShowStatus': ('프로그램에 일어난 일을 도구 설명에 표시', '사용: 아이콘의 도구 설명 둘째 줄에 마지막 확인 결과가 표시됩니다. 사용 안 함: 도구 설명에 이름만 표시됩니다.', None), 'BusiestCore': ('그래프에 가장 바쁜 프로세서 표시', '사용: 그래프의 각 열에 가장 바쁜 프로세서의 사용률도 표시됩니다. 사용 안 함: 그래프는 컴퓨터 전체만 표시합니다.', None), 'FollowTheme': ('어두운 테마에서 어두운 그래프 색', '사용: 따로 설정하지 않은 그래프 색이 Windows가 어두운 테마를 사용하는 동안 어두워집니다. 사용 안 함: 기본 색이 유지됩니다.', None), 'BusiestColor': ('가장 바쁜 프로세서 표시 색', '색 이름(clRed, clYellow, ...) 또는 파랑-초록-빨강 순서의 숫자($000000FF).', '색:')}, 'pt-BR': {'CorePlacement': ('Colocar o aplicativo em primeiro plano nos melhores núcleos', 'Habilitado: no Windows 10 e posterior, o programa em primeiro plano é executado nos núcleos de desempenho de um processador híbrido, ou nos núcleos que compartilham o maior cache. Desabilitado: o KestrixTray não escolhe seus processadores.', None), 'ShowStatus': ('Mostrar na dica o que aconteceu com o aplicativo', 'Habilitado: a dica do ícone diz em uma segunda linha o que a última verificação fez. Desabilitado: a dica mostra apenas o nome.', None), 'BusiestCore': ('Marcar o processador mais ocupado no gráfico', 'Habilitado: cada coluna do gráfico também marca a carga do processador mais ocupado. Desabilitado: o gráfico mostra apenas o computador inteiro.', None), 'FollowTheme': ('Cores escuras do gráfico com o tema escuro', 'Habilitado: as cores do gráfico não definidas de outra forma ficam escuras enquanto o Windows usa o tema escuro. Desabilitado: as cores habituais permanecem.', None), 'BusiestColor': ('Cor da marca do processador mais ocupado', 'Um nome de cor (clRed, clYellow, ...) ou um número na ordem azul-verde-vermelho ($000000FF).', 'Cor:')}, 'ru-RU': {'CorePlacement': ('Запускать активное приложение на лучших ядрах', 'Включено: в Windows 10 и новее активная программа выполняется на производительных ядрах гибридного процессора или на ядрах с самым большим общим кэшем. Отключено: KestrixTray не выбирает процессоры.', None), 'ShowStatus': ('Показывать во всплывающей подсказке, что произошло с приложением', 'Включено: подсказка значка показывает во второй строке, что сделала последняя проверка. Отключено: подсказка показывает только название.', None), 'BusiestCore': ('Отмечать на графике самый загруженный процессор', 'Включено: каждый столбец графика также отмечает загрузку самого загруженного процессора. Отключено: график показывает только весь компьютер.', None), 'FollowTheme': ('Тёмные цвета графика при тёмной теме', 'Включено: цвета графика, не заданные иначе, становятся тёмными, пока Windows использует тёмную тему. Отключено: остаются обычные цвета.', None), 'BusiestColor': ('Цвет отметки самого загруженного процессора', 'Название цвета (clRed, clYellow, ...) или число в порядке синий-зелёный-красный ($000000FF).', 'Цвет:')}}
for _culture, _texts in _ADDED_TEXTS.items():
    TEXTS[_culture].update(_texts)

def admx():
    out = ['<?xml version="1.0" encoding="utf-8"?>',
           '<!-- Made by make_templates.py: do not edit. -->',
           '<policyDefinitions xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
           'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" revision="1.0" schemaVersion="1.0" '
           'xmlns="%s">' % NAMESPACE,
           '  <policyNamespaces>',
           '    <target prefix="kestrix" namespace="VELMOR.Policies.Kestrix" />',
           '  </policyNamespaces>',
           '  <resources minRequiredRevision="1.0" />',
           '  <supportedOn>',
           '    <definitions>',
           '      <definition name="SUPPORTED_Win7" displayName="$(string.SupportedWin7)" />',
           '    </definitions>',
           '  </supportedOn>',
           '  <categories>',
           '    <category name="Kestrix" displayName="$(string.Category)" />',
           '  </categories>',
           '  <policies>']
    for name, kind in POLICIES:
        head = ('    <policy name="%s" class="Machine" displayName="$(string.%s)" explainText="$(string.%s_Help)"'
                % (name, name, name))
        if kind != "switch":
            head += ' presentation="$(presentation.%s)"' % name
        head += ' key="%s"' % KEY
        if kind == "switch":
            head += ' valueName="%s"' % name
        out.append(head + '>')
        out.append('      <parentCategory ref="Kestrix" />')
        out.append('      <supportedOn ref="SUPPORTED_Win7" />')
        if kind == "switch":
            out.append('      <enabledValue><decimal value="1" /></enabledValue>')
            out.append('      <disabledValue><decimal value="0" /></disabledValue>')
        else:
            out.append('      <elements>')
            if kind == "priority":
                out.append('        <enum id="%s" valueName="%s" required="true">' % (name, name))
                for level, key in PRIORITIES:
                    # Decimal values are unsigned: -2 and -1 as their 32-bit patterns.
                    out.append('          <item displayName="$(string.%s)"><value><decimal value="%d" /></value>'
                               '</item>' % (key, level & 0xFFFFFFFF))
                out.append('        </enum>')
            elif kind == "language":
                out.append('        <enum id="%s" valueName="%s" required="true">' % (name, name))
                for language in LANGUAGES:
                    out.append('          <item displayName="$(string.Language_%s)"><value><string>%s</string>'
                               '</value></item>' % (language, language))
                out.append('        </enum>')
            elif kind == "text":
                out.append('        <text id="%s" valueName="%s" required="true" maxLength="4096" />' % (name, name))
            elif kind == "rows":
                out.append('        <multiText id="%s" valueName="%s" maxLength="4096" maxStrings="65536" />'
                           % (name, name))
            out.append('      </elements>')
        out.append('    </policy>')
    out += ['  </policies>', '</policyDefinitions>', '']
    return "\r\n".join(out)


def adml(culture):
    texts = TEXTS[culture]
    strings = [("Category", texts["Category"]), ("SupportedWin7", texts["SupportedWin7"])]
    strings += [(key, texts[key]) for _, key in PRIORITIES]
    strings += [("Language_" + language, shown) for language, shown in zip(LANGUAGES, texts["LanguageNames"])]
    presentations = []
    for name, kind in POLICIES:
        display, explain, label = texts[name]
        strings += [(name, display), (name + "_Help", explain)]
        control = {"priority": "dropdownList", "language": "dropdownList", "text": "textBox",
                   "rows": "multiTextBox"}.get(kind)
        if control == "dropdownList":
            presentations.append('      <presentation id="%s">\r\n        <dropdownList refId="%s">%s</dropdownList>'
                                 '\r\n      </presentation>' % (name, name, escape(label)))
        elif control == "textBox":
            presentations.append('      <presentation id="%s">\r\n        <textBox refId="%s"><label>%s</label>'
                                 '</textBox>\r\n      </presentation>' % (name, name, escape(label)))
        elif control == "multiTextBox":
            presentations.append('      <presentation id="%s">\r\n        <multiTextBox refId="%s">%s</multiTextBox>'
                                 '\r\n      </presentation>' % (name, name, escape(label)))
    out = ['<?xml version="1.0" encoding="utf-8"?>',
           '<!-- Made by make_templates.py: do not edit. -->',
           '<policyDefinitionResources xmlns:xsd="http://www.w3.org/2001/XMLSchema" '
           'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" revision="1.0" schemaVersion="1.0" '
           'xmlns="%s">' % NAMESPACE,
           '  <displayName>Kestrix</displayName>',
           '  <description>Kestrix</description>',
           '  <resources>',
           '    <stringTable>']
    out += ['      <string id="%s">%s</string>' % (key, escape(text)) for key, text in strings]
    out += ['    </stringTable>', '    <presentationTable>'] + presentations
    out += ['    </presentationTable>', '  </resources>', '</policyDefinitionResources>', '']
    return "\r\n".join(out)


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(folder, "Kestrix.admx"), "wb") as out:
        out.write(admx().encode("utf-8"))
    for culture in TEXTS:
        os.makedirs(os.path.join(folder, culture), exist_ok=True)
        with open(os.path.join(folder, culture, "Kestrix.adml"), "wb") as out:
            out.write(adml(culture).encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
