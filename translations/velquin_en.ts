<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru_RU">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>О программе %1</source>
        <translation>About %1</translation>
    </message>
    <message>
        <source>&lt;b style=&apos;font-size:14pt&apos;&gt;%1&lt;/b&gt;&lt;br&gt;Версия %2</source>
        <translation>&lt;b style=&apos;font-size:14pt&apos;&gt;%1&lt;/b&gt;&lt;br&gt;Version %2</translation>
    </message>
    <message>
        <source>Клиент Интернет-факса: отправка документов по факсу&lt;br&gt;и контроль их доставки.&lt;br&gt;&lt;br&gt;© Tarnwell</source>
        <translation>Internet fax client: sends documents by fax&lt;br&gt;and follows their delivery.&lt;br&gt;&lt;br&gt;© Tarnwell</translation>
    </message>
    <message>
        <source>&lt;a href=&quot;%1support/&quot;&gt;Служба поддержки&lt;/a&gt;</source>
        <translation>&lt;a href=&quot;%1support/&quot;&gt;Support&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Служба поддержки</source>
        <translation>Support</translation>
    </message>
</context>
<context>
    <name>CAddrBookDlg</name>
    <message>
        <source>Адресная книга</source>
        <translation>Address book</translation>
    </message>
    <message>
        <source>Показывать номера</source>
        <translation>Show numbers</translation>
    </message>
    <message>
        <source>Показывать группы</source>
        <translation>Show groups</translation>
    </message>
    <message>
        <source>Выбрать</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>Адресная книга:</source>
        <translation>Address book:</translation>
    </message>
</context>
<context>
    <name>CAddrBookPropDlg</name>
    <message>
        <source>Адресная Книга</source>
        <translation>Address Book</translation>
    </message>
    <message>
        <source>Название:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Контактов:</source>
        <translation>Contacts:</translation>
    </message>
    <message>
        <source>Групп:</source>
        <translation>Groups:</translation>
    </message>
</context>
<context>
    <name>CAddrBookTreeView</name>
    <message>
        <source>Создать</source>
        <translation>New</translation>
    </message>
    <message>
        <source>&amp;Запись...</source>
        <translation>&amp;Contact...</translation>
    </message>
    <message>
        <source>&amp;Группу...</source>
        <translation>&amp;Group...</translation>
    </message>
    <message>
        <source>&amp;Адресную книгу</source>
        <translation>&amp;Address book</translation>
    </message>
    <message>
        <source>&amp;Свойства...</source>
        <translation>&amp;Properties...</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
</context>
<context>
    <name>CBatVersionNotOKDlg</name>
    <message>
        <source>Вы пользуетесь почтовым клиентом The BAT! версии ниже 1.60 !
Версии The BAT! ниже 1.60 некорректно поддерживают работу с Simple MAPI.</source>
        <translation>You are using The BAT! mail client older than version 1.60!
Versions of The BAT! before 1.60 do not support Simple MAPI correctly.</translation>
    </message>
    <message>
        <source>Для того, чтобы обеспечить корректную работу Simple MAPI обновите вашу инсталляцию The BAT! до версии не ниже 1.60</source>
        <translation>For Simple MAPI to work correctly, update your The BAT! to version 1.60 or later</translation>
    </message>
    <message>
        <source>Больше не показывать это сообщение</source>
        <translation>Do not show this message again</translation>
    </message>
</context>
<context>
    <name>CContactDlg</name>
    <message>
        <source>Данные о контакте</source>
        <translation>Contact details</translation>
    </message>
    <message>
        <source>Внутри России</source>
        <translation>Within Russia</translation>
    </message>
    <message>
        <source>Вне России</source>
        <translation>Outside Russia</translation>
    </message>
    <message>
        <source>Код страны:</source>
        <translation>Country code:</translation>
    </message>
    <message>
        <source>Код области:</source>
        <translation>Area code:</translation>
    </message>
</context>
<context>
    <name>CDocPreview</name>
    <message>
        <source>Нет изображения</source>
        <translation>No image</translation>
    </message>
    <message>
        <source>Страниц: %1</source>
        <translation>Pages: %1</translation>
    </message>
    <message>
        <source>Просмотр</source>
        <translation>View</translation>
    </message>
</context>
<context>
    <name>CEditListDlg</name>
    <message>
        <source>Список номеров для рассылки</source>
        <translation>Numbers to send to</translation>
    </message>
    <message>
        <source>В список</source>
        <translation>Add to list</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Удалить все</source>
        <translation>Delete all</translation>
    </message>
    <message>
        <source>Адресная книга</source>
        <translation>Address book</translation>
    </message>
    <message>
        <source>CSV файл</source>
        <translation>CSV file</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>CFaxImage</name>
    <message>
        <source>файл не является изображением TIFF или недоступен</source>
        <translation>the file is not a TIFF image or cannot be read</translation>
    </message>
    <message>
        <source>в файле нет страниц</source>
        <translation>the file has no pages</translation>
    </message>
</context>
<context>
    <name>CFilterDlg</name>
    <message>
        <source>Фильтр для просмотра списка</source>
        <translation>List view filter</translation>
    </message>
    <message>
        <source>Выберите тип фильтра, который будет применяться при показе элементов списка</source>
        <translation>Choose the filter to apply when the list is shown</translation>
    </message>
    <message>
        <source>Тип фильтра</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Показывать все факсы</source>
        <translation>Show all faxes</translation>
    </message>
    <message>
        <source>Показывать факсы за последние </source>
        <translation>Show the faxes of the last </translation>
    </message>
    <message>
        <source>Показывать факсы после </source>
        <translation>Show the faxes after </translation>
    </message>
    <message>
        <source>дней</source>
        <translation>days</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>CFirstStartDlg</name>
    <message>
        <source>Velquin: первый запуск</source>
        <translation>Velquin: first start</translation>
    </message>
    <message>
        <source>Учётная запись</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>Запомнить пароль</source>
        <translation>Remember password</translation>
    </message>
    <message>
        <source>Имя пользователя</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>Пароль</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Сервис</source>
        <translation>Service</translation>
    </message>
    <message>
        <source>Адрес сервиса</source>
        <translation>Service address</translation>
    </message>
    <message>
        <source>Адрес сайта</source>
        <translation>Web site address</translation>
    </message>
    <message>
        <source>Папки</source>
        <translation>Folders</translation>
    </message>
    <message>
        <source>Напечатанные документы</source>
        <translation>Printed documents</translation>
    </message>
    <message>
        <source>Отправленные факсы и адресные книги</source>
        <translation>Sent faxes and address books</translation>
    </message>
    <message>
        <source>Узнавать о доставке автоматически каждые </source>
        <translation>Check delivery automatically every </translation>
    </message>
    <message>
        <source>мин.</source>
        <translation>min.</translation>
    </message>
    <message>
        <source>Начать работу</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Не удалось создать папку «%1».</source>
        <translation>Could not create the folder “%1”.</translation>
    </message>
    <message>
        <source>Velquin ещё не настроен на этом компьютере. Укажите учётную запись сервиса и папки для факсов.</source>
        <translation>Velquin is not set up on this computer yet. Enter your service account and the folders for your faxes.</translation>
    </message>
    <message>
        <source>Попробовать демо</source>
        <translation>Try the demo</translation>
    </message>
    <message>
        <source>Без учётной записи: факсы уходят в учебный сервис на этом компьютере, и их доставка видна как настоящая.</source>
        <translation>No account needed: faxes go to a practice service on this computer, and their delivery is followed as if real.</translation>
    </message>
</context>
<context>
    <name>CGroupDlg</name>
    <message>
        <source>Добавить в группу</source>
        <translation>Add to group</translation>
    </message>
    <message>
        <source>Новый контакт</source>
        <translation>New contact</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>Свойства</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>Название группы:</source>
        <translation>Group name:</translation>
    </message>
    <message>
        <source>Количество членов группы:</source>
        <translation>Members in the group:</translation>
    </message>
</context>
<context>
    <name>CImportDlg</name>
    <message>
        <source>Импорт данных в адресную книгу</source>
        <translation>Import into the address book</translation>
    </message>
    <message>
        <source>Игнорировать некорректные записи</source>
        <translation>Skip invalid records</translation>
    </message>
    <message>
        <source>Определить</source>
        <translation>Detect</translation>
    </message>
    <message>
        <source>Загрузить файл...</source>
        <translation>Load file...</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Импорт</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Порядок полей</source>
        <translation>Field order</translation>
    </message>
    <message>
        <source>Поля во входном файле</source>
        <translation>Fields in the input file</translation>
    </message>
    <message>
        <source>Поля адресной книги</source>
        <translation>Address book fields</translation>
    </message>
    <message>
        <source>Разделитель полей:</source>
        <translation>Field separator:</translation>
    </message>
    <message>
        <source>Кодировка:</source>
        <translation>Encoding:</translation>
    </message>
    <message>
        <source>Прочитано записей:</source>
        <translation>Records read:</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>&amp;Файл</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>&amp;Просмотр</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>&amp;Операции</source>
        <translation>&amp;Operations</translation>
    </message>
    <message>
        <source>Помо&amp;щь</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Показать окно</source>
        <translation>Show the window</translation>
    </message>
    <message>
        <source>Velquin продолжает работать и следит за факсами. Окно вернёт щелчок по значку; выход — «Выход» в его меню.</source>
        <translation>Velquin keeps running and follows your faxes. A click on the icon brings the window back; to quit, choose “Exit” in its menu.</translation>
    </message>
    <message>
        <source>Найти: номер, контакт, название, состояние</source>
        <translation>Find: number, contact, title, state</translation>
    </message>
    <message>
        <source>Показывает факсы, в номере, контакте, названии, состоянии или номере задания которых есть набранное (Ctrl+F)</source>
        <translation>Shows the faxes whose number, contact, title, state or job id contains what is typed (Ctrl+F)</translation>
    </message>
</context>
<context>
    <name>CProgressDlg</name>
    <message>
        <source>Прервать</source>
        <translation>Stop</translation>
    </message>
</context>
<context>
    <name>CSelectDlg</name>
    <message>
        <source>Укажите состав группы</source>
        <translation>Choose the group members</translation>
    </message>
    <message>
        <source>Показывать номера</source>
        <translation>Show numbers</translation>
    </message>
    <message>
        <source>Новый контакт</source>
        <translation>New contact</translation>
    </message>
    <message>
        <source>Свойства</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>&amp;Выбрать --&gt;</source>
        <translation>&amp;Choose --&gt;</translation>
    </message>
    <message>
        <source>Поиск:</source>
        <translation>Search:</translation>
    </message>
</context>
<context>
    <name>CSelector</name>
    <message>
        <source>Навигатор</source>
        <translation>Navigator</translation>
    </message>
</context>
<context>
    <name>CSendDlgBase</name>
    <message>
        <source>Запомнить пароль</source>
        <translation>Remember password</translation>
    </message>
    <message>
        <source>Немедленно после получения письма</source>
        <translation>As soon as the message arrives</translation>
    </message>
    <message>
        <source>В указанное время</source>
        <translation>At the given time</translation>
    </message>
    <message>
        <source>Готово</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>Отправить</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Учётная запись</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>Имя пользователя</source>
        <translation>User name</translation>
    </message>
    <message>
        <source>Пароль</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Число попыток</source>
        <translation>Attempts</translation>
    </message>
    <message>
        <source>Интервал между попытками (мин.)</source>
        <translation>Interval between attempts (min)</translation>
    </message>
</context>
<context>
    <name>CSendFaxDlg</name>
    <message>
        <source>Отправка одиночного факс-сообщения</source>
        <translation>Send a single fax</translation>
    </message>
    <message>
        <source>Выбрать</source>
        <translation>Choose</translation>
    </message>
    <message>
        <source>Отправлять каждую страницу как отдельный факс</source>
        <translation>Send each page as a separate fax</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Укажите номер получателя</source>
        <translation>Enter the recipient&apos;s number</translation>
    </message>
    <message>
        <source>Доставка</source>
        <translation>Delivery</translation>
    </message>
</context>
<context>
    <name>CSendListDlg</name>
    <message>
        <source>Отправка факс-сообщения по списку</source>
        <translation>Send a fax to a list</translation>
    </message>
    <message>
        <source>Редактировать</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Присылать отдельное уведомление о каждом неотправленном факсе</source>
        <translation>Send a separate notice for each fax not sent</translation>
    </message>
    <message>
        <source>Присылать отдельное уведомление о каждом успешно отправленном факсе</source>
        <translation>Send a separate notice for each fax sent successfully</translation>
    </message>
    <message>
        <source>Укажите название вашей факс-рассылки</source>
        <translation>Enter a name for your fax mailing</translation>
    </message>
    <message>
        <source>( Всего выбрано </source>
        <translation>( Selected in all: </translation>
    </message>
    <message>
        <source>номеров )</source>
        <translation>numbers )</translation>
    </message>
    <message>
        <source>Доставка</source>
        <translation>Delivery</translation>
    </message>
</context>
<context>
    <name>CSendPersonalListDlg</name>
    <message>
        <source>Отправка персонифицированных факс-сообщений по списку</source>
        <translation>Send personalised faxes to a list</translation>
    </message>
    <message>
        <source>Рассылка</source>
        <translation>Mailing</translation>
    </message>
    <message>
        <source>Название рассылки</source>
        <translation>Mailing name</translation>
    </message>
    <message>
        <source>Файл со списком получателей</source>
        <translation>File with the list of recipients</translation>
    </message>
    <message>
        <source>Каждый персональный факс содержит</source>
        <translation>Each personal fax has</translation>
    </message>
    <message>
        <source>страниц</source>
        <translation>pages</translation>
    </message>
    <message>
        <source>Доставка</source>
        <translation>Delivery</translation>
    </message>
    <message>
        <source>Страниц в тираже: %1, каждому получателю: %2</source>
        <translation>Pages in the run: %1, each recipient gets: %2</translation>
    </message>
</context>
<context>
    <name>CSentFaxModel</name>
    <message>
        <source>Все факсы</source>
        <translation>All Faxes</translation>
    </message>
</context>
<context>
    <name>CSettingsDlg</name>
    <message>
        <source>Настройки программы TW Velquin</source>
        <translation>TW Velquin settings</translation>
    </message>
    <message>
        <source>При печати нового файла на TW Ostrevo принтер</source>
        <translation>When a new file is printed to the TW Ostrevo printer</translation>
    </message>
    <message>
        <source>Показывать главное окно программы поверх других окон</source>
        <translation>Show the main window on top of other windows</translation>
    </message>
    <message>
        <source>Для просмотра TIFF файлов</source>
        <translation>To view TIFF files</translation>
    </message>
    <message>
        <source>Использовать встроенную программу Velquin</source>
        <translation>Use Velquin&apos;s own viewer</translation>
    </message>
    <message>
        <source>Списки</source>
        <translation>Lists</translation>
    </message>
    <message>
        <source>Подтверждать удаление элементов списка</source>
        <translation>Confirm deleting list items</translation>
    </message>
    <message>
        <source>Удалять напечатанные файлы после отправки факса</source>
        <translation>Delete printed files after the fax is sent</translation>
    </message>
    <message>
        <source>Удалять отправленные факсы через </source>
        <translation>Delete sent faxes after </translation>
    </message>
    <message>
        <source>Удалять принятые факсы через </source>
        <translation>Delete received faxes after </translation>
    </message>
    <message>
        <source>Сообщать на рабочем столе, какие факсы доставлены или не доставлены</source>
        <translation>Tell on the desktop which faxes were delivered or not delivered</translation>
    </message>
    <message>
        <source>дней</source>
        <translation>days</translation>
    </message>
    <message>
        <source>Префикс при воде номера напрямую, без адресной книги </source>
        <translation>Prefix for numbers typed directly, without the address book </translation>
    </message>
    <message>
        <source>Префикс - это &apos;8&apos; + код вашей области, например,  для Москвы 8495, для Санкт-Петербурга 8812</source>
        <translation>The prefix is &apos;8&apos; + your area code, for example 8495 for Moscow, 8812 for Saint Petersburg</translation>
    </message>
    <message>
        <source>Префикс</source>
        <translation>Prefix</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Отменить</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Использовать программу рабочего стола</source>
        <translation>Use the desktop&apos;s default program</translation>
    </message>
    <message>
        <source>Узнавать о доставке автоматически каждые </source>
        <translation>Check delivery automatically every </translation>
    </message>
    <message>
        <source>мин.</source>
        <translation>min.</translation>
    </message>
    <message>
        <source>Рабочий стол</source>
        <translation>Desktop</translation>
    </message>
    <message>
        <source>Запускать Velquin при входе в систему</source>
        <translation>Start Velquin when I log in</translation>
    </message>
    <message>
        <source>Прокси-сервер</source>
        <translation>Proxy server</translation>
    </message>
    <message>
        <source>из переменных http_proxy и https_proxy</source>
        <translation>from the http_proxy and https_proxy variables</translation>
    </message>
    <message>
        <source>Адрес (имя:порт)</source>
        <translation>Address (host:port)</translation>
    </message>
    <message>
        <source>Пользователь</source>
        <translation>User</translation>
    </message>
    <message>
        <source>Пароль</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Адрес прокси-сервера пишется как имя:порт, например proxy.office.local:3128 или [2001:db8::1]:8080.</source>
        <translation>Write the proxy server&apos;s address as host:port, for example proxy.office.local:3128 or [2001:db8::1]:8080.</translation>
    </message>
</context>
<context>
    <name>CViewerWindow</name>
    <message>
        <source>Страницы</source>
        <translation>Pages</translation>
    </message>
    <message>
        <source>Просмотр</source>
        <translation>View</translation>
    </message>
    <message>
        <source>Открыть...</source>
        <translation>Open...</translation>
    </message>
    <message>
        <source>Печать...</source>
        <translation>Print...</translation>
    </message>
    <message>
        <source>Сохранить как PDF...</source>
        <translation>Save as PDF...</translation>
    </message>
    <message>
        <source>Предыдущая</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>Следующая</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>По ширине</source>
        <translation>Fit width</translation>
    </message>
    <message>
        <source>Увеличить</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>Уменьшить</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>Повернуть влево</source>
        <translation>Rotate left</translation>
    </message>
    <message>
        <source>Повернуть вправо</source>
        <translation>Rotate right</translation>
    </message>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Не удалось открыть файл %1:
%2</source>
        <translation>Could not open the file %1:
%2</translation>
    </message>
    <message>
        <source>Страница %1</source>
        <translation>Page %1</translation>
    </message>
    <message>
        <source>Страница %1 повреждена</source>
        <translation>Page %1 is damaged</translation>
    </message>
    <message>
        <source>Страница %1 из %2</source>
        <translation>Page %1 of %2</translation>
    </message>
    <message>
        <source>Открыть факс</source>
        <translation>Open fax</translation>
    </message>
    <message>
        <source>Изображения TIFF (*.tif *.tiff);;Все файлы (*)</source>
        <translation>TIFF images (*.tif *.tiff);;All files (*)</translation>
    </message>
    <message>
        <source>Сохранить как PDF</source>
        <translation>Save as PDF</translation>
    </message>
    <message>
        <source>Документы PDF (*.pdf)</source>
        <translation>PDF documents (*.pdf)</translation>
    </message>
    <message>
        <source>Не удалось сохранить файл %1</source>
        <translation>Could not save the file %1</translation>
    </message>
    <message>
        <source>Печать факса</source>
        <translation>Print fax</translation>
    </message>
    <message>
        <source>Не удалось напечатать факс</source>
        <translation>Could not print the fax</translation>
    </message>
</context>
<context>
    <name>Strings</name>
    <message>
        <source>Загрузка базы адресов...</source>
        <translation>Loading the address books...</translation>
    </message>
    <message>
        <source>Address book files (*.abk)|*.abk|</source>
        <translation>Address book files (*.abk)|*.abk|</translation>
    </message>
    <message>
        <source>Мои Контакты</source>
        <translation>My Contacts</translation>
    </message>
    <message>
        <source>Экспорт базы данных в текстовый файл...</source>
        <translation>Exporting the address book to a text file...</translation>
    </message>
    <message>
        <source>Text files (*.txt)|*.txt|</source>
        <translation>Text files (*.txt)|*.txt|</translation>
    </message>
    <message>
        <source>&lt;Новая группа&gt;</source>
        <translation>&lt;New group&gt;</translation>
    </message>
    <message>
        <source>Группа</source>
        <translation>Group</translation>
    </message>
    <message>
        <source>Номер факса</source>
        <translation>Fax number</translation>
    </message>
    <message>
        <source>Компания</source>
        <translation>Company</translation>
    </message>
    <message>
        <source>Контактное лицо</source>
        <translation>Contact person</translation>
    </message>
    <message>
        <source>-- пропустить поле --</source>
        <translation>-- skip field --</translation>
    </message>
    <message>
        <source>Укажите позиции полей адресной книги в вашем файле</source>
        <translation>Give the positions of the address book fields in your file</translation>
    </message>
    <message>
        <source>Укажите позицию для поля &apos;Факс&apos;</source>
        <translation>Give the position of the &apos;Fax&apos; field</translation>
    </message>
    <message>
        <source>Укажите разделитель полей</source>
        <translation>Give the field separator</translation>
    </message>
    <message>
        <source>Укажите файл с данными</source>
        <translation>Choose the data file</translation>
    </message>
    <message>
        <source>Не могу открыть файл с данными</source>
        <translation>Cannot open the data file</translation>
    </message>
    <message>
        <source>Свойства %s</source>
        <translation>Properties of %s</translation>
    </message>
    <message>
        <source>Невозможно добавить группу &apos;%s&apos; в данную группу, т.к. группа &apos;%s&apos; уже содержит эту группу.</source>
        <translation>The group &apos;%s&apos; cannot be added to this group, because the group &apos;%s&apos; already contains this group.</translation>
    </message>
    <message>
        <source>Сортировка списка номеров...</source>
        <translation>Sorting the list of numbers...</translation>
    </message>
    <message>
        <source>Адресная книга &quot;%s&quot; содержит слишком много записей.
Выберите подраздел адресной книги.</source>
        <translation>The address book &quot;%s&quot; has too many entries.
Choose a part of the address book.</translation>
    </message>
    <message>
        <source>Имя</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Фирма</source>
        <translation>Company</translation>
    </message>
    <message>
        <source>Контактное Лицо</source>
        <translation>Contact Person</translation>
    </message>
    <message>
        <source>Новая Книга</source>
        <translation>New Book</translation>
    </message>
    <message>
        <source>Файл не является текстом UTF-8, но похож на него больше, чем на текст Windows-1251. Он прочитан как Windows-1251. Если имена в просмотре выглядят неверно, выберите кодировку UTF-8: файл будет прочитан снова.</source>
        <translation>The file is not UTF-8 text, but it looks more like it than like Windows-1251 text. It was read as Windows-1251. If the names in the preview look wrong, choose the UTF-8 encoding: the file will be read again.</translation>
    </message>
    <message>
        <source>Адресная книга &quot;%s&quot; прочитана из файла %s не полностью: в нём есть записи, которые программа не знает. Книга открыта только для чтения: изменения в ней не будут сохранены, а файл останется как есть.</source>
        <translation>The address book &quot;%s&quot; was read from the file %s only in part: it holds records the program does not know. The book is open read-only: changes to it will not be saved, and the file stays as it is.</translation>
    </message>
    <message>
        <source>Экспорт не выполнен: группы книги вложены друг в друга так, что текст вышел бы больше 128 МБ. Файл %s не записан.</source>
        <translation>Export not done: the book&apos;s groups are nested so deeply that the text would exceed 128 MB. The file %s was not written.</translation>
    </message>
    <message>
        <source>Введите целое число в диапазоне от %s до %s.</source>
        <translation>Enter a whole number from %s to %s.</translation>
    </message>
    <message>
        <source>Построение списка фирм...</source>
        <translation>Building the list of companies...</translation>
    </message>
    <message>
        <source>Построение списка номеров...</source>
        <translation>Building the list of numbers...</translation>
    </message>
    <message>
        <source>В данный момент программа занимается обработкой базы адресов. Прервать программу?</source>
        <translation>The program is processing the address books right now. Stop the program?</translation>
    </message>
    <message>
        <source>Не удается открыть директорию с напечатанными документами или одну из поддиректорий</source>
        <translation>Cannot open the folder of printed documents or one of its subfolders</translation>
    </message>
    <message>
        <source>Внимание! Недостаточно места на рабочем диске Velquin. Остаток менее 10 МБ.
Пожалуйста освободите место на диске, иначе в работе Velquin могут возникать ошибки из-за недостатка места на диске.</source>
        <translation>Warning! Velquin&apos;s working disk is almost full: less than 10 MB are left.
Please free some disk space, or Velquin may run into errors for lack of space.</translation>
    </message>
    <message>
        <source>Velquin установлен некорректно. Пожалуйста повторите установку заново.</source>
        <translation>Velquin is not installed correctly. Please install it again.</translation>
    </message>
    <message>
        <source>Не удалось прочитать файл настроек: %s. Исправьте или удалите этот файл и запустите velquin-tool setup.</source>
        <translation>Could not read the settings file: %s. Correct or delete this file and run velquin-tool setup.</translation>
    </message>
    <message>
        <source>Velquin не запущен: %s не годится для отметки о запуске программы (%s). Папка и файл отметки должны принадлежать вам и быть закрыты для других пользователей. Удалите или исправьте их и запустите Velquin снова.</source>
        <translation>Velquin did not start: %s cannot serve as the mark of the running program (%s). The folder and the mark file must belong to you and be closed to other users. Delete or correct them and start Velquin again.</translation>
    </message>
    <message>
        <source>Velquin уже запущен, но не отвечает: окно запущенной программы не удалось показать (%s). Если программа зависла, завершите её и запустите Velquin снова.</source>
        <translation>Velquin is already running but does not answer: the window of the running program could not be shown (%s). If the program hangs, end it and start Velquin again.</translation>
    </message>
    <message>
        <source>это символическая ссылка</source>
        <translation>it is a symbolic link</translation>
    </message>
    <message>
        <source>принадлежит другому пользователю</source>
        <translation>it belongs to another user</translation>
    </message>
    <message>
        <source>доступна другим пользователям</source>
        <translation>other users can access it</translation>
    </message>
    <message>
        <source>это не папка</source>
        <translation>it is not a folder</translation>
    </message>
    <message>
        <source>Отправленные факсы хранятся 0 дней: при следующем запуске программы будут удалены все отправленные факсы. Сохранить настройки?</source>
        <translation>Sent faxes are kept for 0 days: the next start of the program will delete every sent fax. Save the settings?</translation>
    </message>
    <message>
        <source>Указан некорректный телефонный номер</source>
        <translation>The phone number is not valid</translation>
    </message>
    <message>
        <source>Номер факса должен начинаться на &apos;8&apos;,
например для Санкт-Петербурга: 88123520809</source>
        <translation>The fax number must begin with &apos;8&apos;,
for example for Saint Petersburg: 88123520809</translation>
    </message>
    <message>
        <source>Код области не должен быть пустым</source>
        <translation>The area code must not be empty</translation>
    </message>
    <message>
        <source>Данный файл испорчен и не может быть отправлен по факсу.</source>
        <translation>This file is damaged and cannot be sent by fax.</translation>
    </message>
    <message>
        <source>Во время чтения факс-номеров обнаружены короткие номера без &apos;8&apos;.Они были дополнены префиксом вашей области &apos;%s&apos;. Если префикс добавлен неверно, то вы можете отменить операцию импорта и указать верный префикс командой Файл-&gt;Настройки. После этого повторите операцию импорта. </source>
        <translation>Short numbers without &apos;8&apos; were found while reading the fax numbers. They were given your area&apos;s prefix &apos;%s&apos;. If the prefix is wrong, cancel the import and set the right prefix with File-&gt;Settings. Then import again. </translation>
    </message>
    <message>
        <source>При составлении списка получателей обнаружены одинаковые номера. Все такие получатели будут включены в список ровно один раз для того, чтобы избежать повторений при рассылке.</source>
        <translation>The list of recipients holds the same number more than once. Each such recipient is put in the list exactly once, so that nobody gets the fax twice.</translation>
    </message>
    <message>
        <source>Не удалось скопировать файл %s.</source>
        <translation>Could not copy the file %s.</translation>
    </message>
    <message>
        <source>Неверная длина пароля</source>
        <translation>The password has the wrong length</translation>
    </message>
    <message>
        <source>Неверная длина идентификатора пользователя</source>
        <translation>The user name has the wrong length</translation>
    </message>
    <message>
        <source>Не удается прочитать файл. Удалите его и повторите операцию печати</source>
        <translation>Cannot read the file. Delete it and print again</translation>
    </message>
    <message>
        <source>Не удалось прочитать ни одного телефона из указанного файла со списком телефонов.</source>
        <translation>Not one phone number could be read from the given list of numbers.</translation>
    </message>
    <message>
        <source>Число телефонов в списке не соответствует числу страниц в напечатанном файле. Проверьте подготовленный файл и список телефонов.</source>
        <translation>The number of phone numbers in the list does not match the number of pages of the printed file. Check the prepared file and the list of numbers.</translation>
    </message>
    <message>
        <source>Не удалось подготовить индивидуальные файлы для рассылки. Проверьте свободное место на жестком диске</source>
        <translation>Could not prepare the personal files of the mailing. Check the free space on the disk</translation>
    </message>
    <message>
        <source>Option &apos;Send as single pages&apos; not implemented yet</source>
        <translation>Option &apos;Send as single pages&apos; not implemented yet</translation>
    </message>
    <message>
        <source>!! Cannot create FBL file !!!</source>
        <translation>!! Cannot create FBL file !!!</translation>
    </message>
    <message>
        <source>Не удалось отправить ни одного электронного письма</source>
        <translation>Not one e-mail could be sent</translation>
    </message>
    <message>
        <source>Название рассылки не может быть длиннее 128 символов.</source>
        <translation>The mailing name cannot be longer than 128 characters.</translation>
    </message>
    <message>
        <source>Чтение списка номеров</source>
        <translation>Reading the list of numbers</translation>
    </message>
    <message>
        <source>Не удалось подписать файл %s.</source>
        <translation>Could not sign the file %s.</translation>
    </message>
    <message>
        <source>Не удалось перенести файл %s.</source>
        <translation>Could not move the file %s.</translation>
    </message>
    <message>
        <source>Не доставлен</source>
        <translation>Not delivered</translation>
    </message>
    <message>
        <source>Доставлен успешно</source>
        <translation>Delivered</translation>
    </message>
    <message>
        <source>В очереди на отправку</source>
        <translation>Queued for sending</translation>
    </message>
    <message>
        <source>Недостаточно средств: пополните баланс</source>
        <translation>Insufficient funds: top up your balance</translation>
    </message>
    <message>
        <source>Чтение писем из почтовой программы</source>
        <translation>Reading messages from the mail program</translation>
    </message>
    <message>
        <source>Напечатанный документ</source>
        <translation>Printed document</translation>
    </message>
    <message>
        <source>Дата и время печати</source>
        <translation>Printed at</translation>
    </message>
    <message>
        <source>Дата и время отправления</source>
        <translation>Sent at</translation>
    </message>
    <message>
        <source>TW Velquin</source>
        <translation>TW Velquin</translation>
    </message>
    <message>
        <source>Вы уверены, что хотите удалить элемент?</source>
        <translation>Are you sure you want to delete the item?</translation>
    </message>
    <message>
        <source>Данная рассылка является персонифицированной и содержит отдельный факс для каждого получателя. Их можно посмотреть через непосредственно в списке получателей</source>
        <translation>This mailing is personalised and holds a separate fax for each recipient. You can view them directly in the list of recipients</translation>
    </message>
    <message>
        <source>Состояние</source>
        <translation>State</translation>
    </message>
    <message>
        <source>Адресная Книга</source>
        <translation>Address Book</translation>
    </message>
    <message>
        <source>Отправленные Факсы</source>
        <translation>Sent Faxes</translation>
    </message>
    <message>
        <source>Новые Факсы</source>
        <translation>New Faxes</translation>
    </message>
    <message>
        <source>Сохранённые Документы</source>
        <translation>Saved Documents</translation>
    </message>
    <message>
        <source>Все факсы</source>
        <translation>All faxes</translation>
    </message>
    <message>
        <source>Эта функция ещё не готова в данной версии программы.</source>
        <translation>This function is not ready yet in this version of the program.</translation>
    </message>
    <message>
        <source>отчёт о доставке</source>
        <translation>delivery report</translation>
    </message>
    <message>
        <source>%s нельзя сделать факсом. Перетаскивайте PDF, PostScript, изображения (TIFF, PNG, JPEG) или документы тех видов, что загружает «Загрузить новый документ».</source>
        <translation>%s cannot be made into a fax. Drop PDF, PostScript, images (TIFF, PNG, JPEG) or documents of the kinds that &quot;Load new document&quot; loads.</translation>
    </message>
    <message>
        <source>Не удалось добавить %s к новым факсам:
%s</source>
        <translation>Could not add %s to the new faxes:
%s</translation>
    </message>
    <message>
        <source>Факс-принтер не смог сделать факс из %s:
%s</source>
        <translation>The fax printer could not make a fax of %s:
%s</translation>
    </message>
    <message>
        <source>Не запускается факс-принтер %s.</source>
        <translation>The fax printer %s does not start.</translation>
    </message>
    <message>
        <source>%s (фильтр скрывает факсов: %s)</source>
        <translation>%s (faxes hidden by the filter: %s)</translation>
    </message>
    <message>
        <source>Синхронизация закончена. Доставлено факсов: %s, не доставлено: %s.</source>
        <translation>Synchronisation finished. Faxes delivered: %s, not delivered: %s.</translation>
    </message>
    <message>
        <source>Новая запись
Новая запись</source>
        <translation>New contact
New contact</translation>
    </message>
    <message>
        <source>Навигатор
Показать или скрыть навигатор</source>
        <translation>Navigator
Show or hide the navigator</translation>
    </message>
    <message>
        <source>Новая группа
Новая группа</source>
        <translation>New group
New group</translation>
    </message>
    <message>
        <source>Редактировать элемент
Редактировать элемент</source>
        <translation>Edit item
Edit item</translation>
    </message>
    <message>
        <source>Импорт данных
Импорт данных</source>
        <translation>Import data
Import data</translation>
    </message>
    <message>
        <source>Удалить элемент
Удалить элемент</source>
        <translation>Delete item
Delete item</translation>
    </message>
    <message>
        <source>Импорт адресной книги
Импорт адресной книги</source>
        <translation>Import address book
Import address book</translation>
    </message>
    <message>
        <source>Экспорт данных
Экспорт данных</source>
        <translation>Export data
Export data</translation>
    </message>
    <message>
        <source>Новая адресная книга
Новая адресная книга</source>
        <translation>New address book
New address book</translation>
    </message>
    <message>
        <source>Просмотреть факс
Просмотреть факс</source>
        <translation>View fax
View fax</translation>
    </message>
    <message>
        <source>&amp;Проверить статус отправки
Проверить статус отправки</source>
        <translation>&amp;Check delivery status
Check delivery status</translation>
    </message>
    <message>
        <source>Руководство пользователя
Руководство пользователя</source>
        <translation>User guide
User guide</translation>
    </message>
    <message>
        <source>Настройки
Настройки программы</source>
        <translation>Settings
Program settings</translation>
    </message>
    <message>
        <source>Спрятать окно
Спрятать окно</source>
        <translation>Hide window
Hide window</translation>
    </message>
    <message>
        <source>Сдвинуть вверх
Сдвинуть вверх</source>
        <translation>Move up
Move up</translation>
    </message>
    <message>
        <source>Сдвинуть вниз
Сдвинуть вниз</source>
        <translation>Move down
Move down</translation>
    </message>
    <message>
        <source>Просмотр готового факса
Просмотр готового факса</source>
        <translation>View the ready fax
View the ready fax</translation>
    </message>
    <message>
        <source>Сохранить документ
Сохранить документ</source>
        <translation>Save document
Save document</translation>
    </message>
    <message>
        <source>Фильтр просмотра...
Фильтр просмотра</source>
        <translation>View filter...
View filter</translation>
    </message>
    <message>
        <source>Персонифицированная рассылка
Отправить персонифицированные факсы по списку</source>
        <translation>Personalised mailing
Send personalised faxes to a list</translation>
    </message>
    <message>
        <source>Загрузить новый документ
Загрузить новый документ</source>
        <translation>Load new document
Load new document</translation>
    </message>
    <message>
        <source>Отправить факс
Отправить факс</source>
        <translation>Send fax
Send fax</translation>
    </message>
    <message>
        <source>Отправить факс по списку
Отправить факс по списку</source>
        <translation>Send fax to a list
Send fax to a list</translation>
    </message>
    <message>
        <source>Повторить отправку недоставленных
Повторить отправку недоставленных</source>
        <translation>Resend the undelivered
Resend the undelivered</translation>
    </message>
    <message>
        <source>Отчёт о доставке...
Отчёт о доставке</source>
        <translation>Delivery report...
Delivery report</translation>
    </message>
    <message>
        <source>Скопировать документ в новый факс
Скопировать документ в новый факс</source>
        <translation>Copy document to a new fax
Copy document to a new fax</translation>
    </message>
    <message>
        <source>Ожидание печати нового документа</source>
        <translation>Waiting for a new document to be printed</translation>
    </message>
    <message>
        <source>О программе...
О программе</source>
        <translation>About...
About the program</translation>
    </message>
    <message>
        <source>Выход
Выход из программы</source>
        <translation>Exit
Exit the program</translation>
    </message>
    <message>
        <source>Панель инструментов
Показать или скрыть панель инструментов</source>
        <translation>Toolbar
Show or hide the toolbar</translation>
    </message>
    <message>
        <source>Строка статуса
Показать или скрыть строку статуса</source>
        <translation>Status bar
Show or hide the status bar</translation>
    </message>
    <message>
        <source>%s Файл не удалён, запись осталась в списке.</source>
        <translation>%s The file was not deleted; the entry stays in the list.</translation>
    </message>
    <message>
        <source>Не удалось открыть %s: не запускается программа просмотра %s.</source>
        <translation>Could not open %s: the viewer %s does not start.</translation>
    </message>
    <message>
        <source>Не удалось открыть %s: не запускается программа %s, которой рабочий стол открывает файлы и адреса (её даёт пакет xdg-utils).</source>
        <translation>Could not open %s: the program %s, with which the desktop opens files and addresses, does not start (the package xdg-utils provides it).</translation>
    </message>
    <message>
        <source>Не удалось найти файл %s.</source>
        <translation>Could not find the file %s.</translation>
    </message>
    <message>
        <source>Нет доступа к файлу %s.</source>
        <translation>No access to the file %s.</translation>
    </message>
    <message>
        <source>Нет места на диске для файла %s.</source>
        <translation>No disk space for the file %s.</translation>
    </message>
    <message>
        <source>Ошибка при работе с файлом %s: %s.</source>
        <translation>Error with the file %s: %s.</translation>
    </message>
    <message>
        <source>Неожиданный конец файла %s.</source>
        <translation>Unexpected end of the file %s.</translation>
    </message>
    <message>
        <source>Неверный формат файла %s.</source>
        <translation>The file %s has a wrong format.</translation>
    </message>
    <message>
        <source>Недостаточно памяти для файла %s.</source>
        <translation>Not enough memory for the file %s.</translation>
    </message>
    <message>
        <source>Ошибка при чтении файла %s.</source>
        <translation>Error reading the file %s.</translation>
    </message>
    <message>
        <source>Чтение списков факсов...</source>
        <translation>Reading the fax lists...</translation>
    </message>
    <message>
        <source>Не удалось сохранить документ %s</source>
        <translation>Could not save the document %s</translation>
    </message>
    <message>
        <source>Velquin не запущен: с хранилищем факсов %s уже работает другая копия Velquin (%s). Закройте её и запустите Velquin снова.</source>
        <translation>Velquin has not started: another copy of Velquin is working with the fax store %s (%s). Close it and start Velquin again.</translation>
    </message>
    <message>
        <source>процесс %s пользователя %s на компьютере %s</source>
        <translation>process %s of user %s on computer %s</translation>
    </message>
    <message>
        <source>её отметка: %s</source>
        <translation>its lock file: %s</translation>
    </message>
    <message>
        <source>Сервис принял факс (задание %s), но запись об отправке не удалось сохранить: %s Документ оставлен среди новых факсов; не отправляйте его снова.</source>
        <translation>The service accepted the fax (job %s), but the record of the sending could not be saved: %s The document stays among the new faxes; do not send it again.</translation>
    </message>
    <message>
        <source>Сервис не ответил на отправку или его ответ не удалось прочитать. Факс мог быть принят: прежде чем отправлять его снова, проверьте отправленные факсы после следующей синхронизации.</source>
        <translation>The service did not answer the submission, or its answer could not be read. The fax may have been accepted: before sending it again, check the sent faxes after the next synchronisation.</translation>
    </message>
    <message>
        <source>Не удалось соединиться с сервисом: факс не отправлен. Проверьте подключение к Интернету и отправьте факс снова.</source>
        <translation>Could not connect to the service: the fax was not sent. Check the Internet connection and send the fax again.</translation>
    </message>
    <message>
        <source>Файл %s не читается: это не обычный файл, а канал, устройство или папка.</source>
        <translation>File %s cannot be read: it is not a regular file but a pipe, a device or a folder.</translation>
    </message>
    <message>
        <source>Файл %s — копия адресной книги &quot;%s&quot;, которая уже открыта из файла %s. Показана открытая книга.</source>
        <translation>The file %s is a copy of the address book &quot;%s&quot;, which is already open from the file %s. The open book is shown.</translation>
    </message>
    <message>
        <source>Адресная книга &quot;%s&quot; открыта только для чтения: файл %s прочитан не полностью. Изменить её нельзя.</source>
        <translation>The address book &quot;%s&quot; is open read-only: the file %s could not be read whole. It cannot be changed.</translation>
    </message>
    <message>
        <source>Не удалось открыть %s: %s закончилась с ошибкой (код %s). Проверьте, есть ли на рабочем столе программа, открывающая такие файлы.</source>
        <translation>Could not open %s: %s ended with an error (code %s). Check that the desktop has a program that opens such files.</translation>
    </message>
    <message>
        <source>Сервис не ответил на запросов о доставке: %s. Проверьте соединение с Интернетом и настройки, затем нажмите F5.</source>
        <translation>Delivery queries the service did not answer: %s. Check the Internet connection and the settings, then press F5.</translation>
    </message>
    <message>
        <source>Рассылка %s</source>
        <translation>Mailing %s</translation>
    </message>
    <message>
        <source>Загружено вручную: (%s)</source>
        <translation>Added by hand: (%s)</translation>
    </message>
    <message>
        <source>Демонстрационный сервис не запустился (%s закончился с кодом %s): возможно, его порт занят другой программой. Перезапустите Velquin или укажите в настройках адрес настоящего сервиса.</source>
        <translation>The demo service did not start (%s ended with code %s): its port may be taken by another program. Restart Velquin, or enter the address of the real service in the settings.</translation>
    </message>
    <message>
        <source>Демонстрационный сервис не установлен вместе с Velquin (нет программы faxsim). Укажите в настройках адрес настоящего сервиса.</source>
        <translation>The demo service is not installed with Velquin (there is no faxsim program). Enter the address of the real service in the settings.</translation>
    </message>
    <message>
        <source>Нет сведений</source>
        <translation>No information</translation>
    </message>
    <message>
        <source>Документ,Номер,Получатель,Страниц,Задание,Отправлен,Состояние,Сведения от</source>
        <translation>Document,Number,Recipient,Pages,Job,Sent,State,State as of</translation>
    </message>
    <message>
        <source>Подтверждение отправки факса</source>
        <translation>Proof of fax sending</translation>
    </message>
    <message>
        <source>Сводка по рассылке</source>
        <translation>Mass fax summary</translation>
    </message>
    <message>
        <source>Получателей: %s</source>
        <translation>Recipients: %s</translation>
    </message>
    <message>
        <source>Изображение факса не найдено</source>
        <translation>Fax image not found</translation>
    </message>
    <message>
        <source>Изображение факса не удалось прочитать</source>
        <translation>The fax image could not be read</translation>
    </message>
    <message>
        <source>Не удалось записать отчёт %s: %s</source>
        <translation>Could not write the report %s: %s</translation>
    </message>
    <message>
        <source>Нет отправленных факсов для отчёта.</source>
        <translation>There are no sent faxes to report.</translation>
    </message>
    <message>
        <source>Подтверждение|*.pdf|</source>
        <translation>Proof of sending|*.pdf|</translation>
    </message>
    <message>
        <source>Подтверждение отправки сохранено: %s</source>
        <translation>Proof of sending saved: %s</translation>
    </message>
    <message>
        <source>Подтверждение</source>
        <translation>Proof of sending</translation>
    </message>
    <message>
        <source>Сохранить подтверждение (PDF)…
Сохранить подтверждение отправки: по странице на каждого получателя, с первой страницей факса</source>
        <translation>Save proof of sending (PDF)…
Save proof of sending: a page per recipient, with the fax&apos;s first page</translation>
    </message>
    <message>
        <source>Страницы получателя %s нельзя прочитать (%s): повторная рассылка не подготовлена.</source>
        <translation>The pages of recipient %s cannot be read (%s): the mailing was not prepared again.</translation>
    </message>
    <message>
        <source>У недоставленных получателей разное число страниц (%s и %s): одной персонифицированной рассылкой их не отправить.</source>
        <translation>The undelivered recipients have different page counts (%s and %s): one personalised mailing cannot send them.</translation>
    </message>
    <message>
        <source>Не удалось подготовить повторную рассылку в %s: %s</source>
        <translation>Could not prepare the new mailing in %s: %s</translation>
    </message>
    <message>
        <source>Этот документ уже отправлялся на номер %s %s; последнее известное состояние: %s.

Отправить его ещё раз?</source>
        <translation>This document was already sent to %s on %s; its last known state: %s.

Send it again?</translation>
    </message>
    <message>
        <source>Прокси-сервер не пропустил запрос к сервису: он требует имя пользователя и пароль или не принял указанные. Факс не отправлен. Проверьте настройки прокси-сервера.</source>
        <translation>The proxy server did not let the request to the service through: it wants a user name and password, or did not accept the ones given. The fax was not sent. Check the proxy server settings.</translation>
    </message>
    <message>
        <source>Не удалось проверить подлинность сервера %s: его сертификат не подтверждён. Соединение прервано, факс не отправлен. Обратитесь к администратору сети.</source>
        <translation>The identity of server %s could not be verified: its certificate was not confirmed. The connection was dropped and the fax was not sent. Contact your network administrator.</translation>
    </message>
    <message>
        <source>Прокси-сервер не пропускает запросы о доставке: он требует имя пользователя и пароль или не принял указанные. Проверьте настройки прокси-сервера, затем нажмите F5.</source>
        <translation>The proxy server does not let the delivery queries through: it wants a user name and password, or did not accept the ones given. Check the proxy server settings, then press F5.</translation>
    </message>
    <message>
        <source>Сертификат сервера %s не прошёл проверку: состояния факсов не запрошены. Обратитесь к администратору сети.</source>
        <translation>The certificate of server %s failed verification: the fax states were not queried. Contact your network administrator.</translation>
    </message>
</context>
<context>
    <name>send_dlg</name>
    <message>
        <source>Будет набран номер %1</source>
        <translation>Number to be dialled: %1</translation>
    </message>
</context>
</TS>
