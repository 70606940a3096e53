# fish completion for quillbox: the commands, their options, and the library's headings
# after show, copy, edit, delete and rename (read with `quillbox list -0`, so any heading comes whole;
# fish quotes it as the word being completed needs).

set -l commands init list show copy pick edit add delete rename search export import
set -l none "not __fish_seen_subcommand_from $commands"

complete -c quillbox -f
complete -c quillbox -n $none -a init -d 'Create the library folder, an empty library and the help file'
complete -c quillbox -n $none -a list -d 'Print the headings, one a line'
complete -c quillbox -n $none -a show -d 'Print a snippet as Copy Code gives it'
complete -c quillbox -n $none -a copy -d 'Put a snippet on the clipboard as Copy Code does'
complete -c quillbox -n $none -a pick -d 'Find a snippet in a small window and copy it'
complete -c quillbox -n $none -a edit -d 'Change a snippet in your editor'
complete -c quillbox -n $none -a add -d 'Add a snippet'
complete -c quillbox -n $none -a delete -d 'Delete a snippet'
complete -c quillbox -n $none -a rename -d 'Give a snippet a new heading'
complete -c quillbox -n $none -a search -d 'Print the headings of the snippets that hold every word'
complete -c quillbox -n $none -a export -d 'Write every snippet to a file'
complete -c quillbox -n $none -a import -d 'Add the snippets of a file'
complete -c quillbox -n $none -l help -d 'Print the commands and the exit codes'
complete -c quillbox -n $none -l version -d 'Print the version of the add-in module'

complete -c quillbox -n '__fish_seen_subcommand_from init' -l samples -d 'Put sample snippets into a new library'
complete -c quillbox -n '__fish_seen_subcommand_from init' -l server -x -a 'postgresql://' -d 'Create the table in a database on a PostgreSQL server'
complete -c quillbox -n '__fish_seen_subcommand_from list' -l null -s 0 -d 'End each heading with a NUL character'
complete -c quillbox -n '__fish_seen_subcommand_from list show search' -l json -d 'Print one JSON document'
complete -c quillbox -n '__fish_seen_subcommand_from show copy' -l fill -x -d 'Fill a blank: NAME=VALUE'
complete -c quillbox -n '__fish_seen_subcommand_from show copy' -l defaults -d 'Fill the other blanks with their defaults'
complete -c quillbox -n '__fish_seen_subcommand_from show' -l crlf -d 'End the lines with CR LF'
complete -c quillbox -n '__fish_seen_subcommand_from show' -l as-stored -d 'Print the snippet as stored'
complete -c quillbox -n '__fish_seen_subcommand_from show' -l html -d 'Print a coloured HTML fragment'
complete -c quillbox -n '__fish_seen_subcommand_from show copy edit delete rename' -a '(quillbox list -0 2>/dev/null | string split0)'
complete -c quillbox -n '__fish_seen_subcommand_from add' -l description -x -d 'The description'
complete -c quillbox -n '__fish_seen_subcommand_from add' -l code-file -r -F -d 'Read the code from a file'
complete -c quillbox -n '__fish_seen_subcommand_from delete' -l yes -d 'Delete without asking'
complete -c quillbox -n '__fish_seen_subcommand_from search' -l in -x -a 'heading description code' -d 'Where to look'
complete -c quillbox -n '__fish_seen_subcommand_from export import' -F
complete -c quillbox -n '__fish_seen_subcommand_from export import' -l format -x -a 'json vscode folder' -d 'The format of the file'
complete -c quillbox -n '__fish_seen_subcommand_from import' -l on-taken -x -a 'skip rename fail' -d 'What to do with a heading the library has'
complete -c quillbox -n '__fish_seen_subcommand_from import' -l all-scopes -d 'Take editor snippets meant for other languages too'
complete -c quillbox -n '__fish_seen_subcommand_from import' -l verbose -d 'Name every snippet left out or renamed'
